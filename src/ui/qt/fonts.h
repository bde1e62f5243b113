#pragma once

#include <QFont>

#include "ui/form/form_layout.h"

namespace korvel {

// The designed font. Where its face is not installed, the installed CJK faces stand in (Noto
// CJK, then WenQuanYi), then any sans-serif face; the brush script first tries its other names
// and then 宋体.
QFont designedFont(const layout::FontSpec& spec);

}  // namespace korvel
