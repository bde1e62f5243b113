#pragma once

#include "platform/session_start.h"
#include "ui/form/form_actions.h"
#include "ui/form/main_form.h"

namespace korvel {

// The window's actions pointed at the core's handlers; shared by every desktop view.
FormActions coreActions(MainForm& form, SessionStart& sessionStart);

}  // namespace korvel
