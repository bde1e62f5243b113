#include "ui/qt/fonts.h"

#include <QStringList>

namespace korvel {

namespace {

QFont withFallbacks(const QString& family, double pointSize, bool bold) {
    QFont font;
    font.setFamilies({family, QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

}  // namespace

QFont songTi(double pointSize, bool bold) {
    return withFallbacks(QStringLiteral("宋体"), pointSize, bold);
}

QFont microsoftSansSerif(double pointSize) {
    return withFallbacks(QStringLiteral("Microsoft Sans Serif"), pointSize, false);
}

}  // namespace korvel
