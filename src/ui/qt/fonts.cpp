#include "ui/qt/fonts.h"

#include <QStringList>
#include <cstring>

namespace korvel {

QFont designedFont(const layout::FontSpec& spec) {
    QStringList families{QString::fromUtf8(spec.family)};
    const bool kaiTi = std::strcmp(spec.family, layout::kKaiTi) == 0;
    if (kaiTi) {
        families << QStringLiteral("KaiTi") << QStringLiteral("AR PL UKai CN")
                 << QString::fromUtf8(layout::kSongTi);
    }
    // Song and Kai are serif faces: a serif stand-in keeps their width and height.
    const bool serif = kaiTi || std::strcmp(spec.family, layout::kSongTi) == 0;
    if (serif) {
        families << QStringLiteral("Noto Serif CJK SC");
    }
    families << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("WenQuanYi Micro Hei")
             << QStringLiteral("WenQuanYi Zen Hei") << QStringLiteral("Sans Serif");
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(serif ? QFont::Serif : QFont::SansSerif);
    font.setPointSizeF(spec.pointSize);
    font.setBold(spec.bold);
    return font;
}

}  // namespace korvel
