#include "ui/qt/fonts.h"

#include <QStringList>
#include <cstring>

namespace korvel {

QFont designedFont(const layout::FontSpec& spec) {
    QStringList families{QString::fromUtf8(spec.family)};
    if (std::strcmp(spec.family, layout::kKaiTi) == 0) {
        families << QStringLiteral("KaiTi") << QStringLiteral("AR PL UKai CN")
                 << QString::fromUtf8(layout::kSongTi);
    }
    families << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("WenQuanYi Micro Hei")
             << QStringLiteral("WenQuanYi Zen Hei") << QStringLiteral("Sans Serif");
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(spec.pointSize);
    font.setBold(spec.bold);
    return font;
}

}  // namespace korvel
