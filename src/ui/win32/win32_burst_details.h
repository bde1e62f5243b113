#pragma once

#include <windows.h>

#include "ui/form/burst_details.h"

namespace korvel {

// Opens the 测时详情 window over the owner: the details model's two plots drawn with GDI,
// redrawn when the model changes; Esc closes it. The handle is written to *open and cleared
// when the window goes. The model must outlive the window.
void openBurstDetailsWindow(BurstDetails& model, HWND owner, HWND* open);

}  // namespace korvel
