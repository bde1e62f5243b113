#include "ui/qt/fonts.h"

#include <QStringList>

#include "ui/form/control_fitting.h"

namespace korvel {

QFont designedFont(const layout::FontSpec& spec) {
    const FontFaces faces = fontFaces(spec);
    QStringList families;
    for (const std::string& family : faces.families) {
        families << QString::fromStdString(family);
    }
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(faces.serif ? QFont::Serif : QFont::SansSerif);
    font.setPointSizeF(spec.pointSize);
    font.setBold(spec.bold);
    return font;
}

}  // namespace korvel
