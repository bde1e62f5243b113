#pragma once

#include <QFont>

#include "ui/form/form_layout.h"

namespace korvel {

// The designed font, with the faces that stand in where its own is not installed.
QFont designedFont(const layout::FontSpec& spec);

}  // namespace korvel
