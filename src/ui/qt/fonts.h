#pragma once

#include <QFont>

namespace korvel {

// The window's two typefaces. Where they are not installed, the installed CJK faces stand in
// (Noto CJK, then WenQuanYi), then any sans-serif face.
QFont songTi(double pointSize, bool bold = false);  // 宋体
QFont microsoftSansSerif(double pointSize);         // Microsoft Sans Serif

}  // namespace korvel
