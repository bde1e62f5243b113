#include "ui/qt/pictures.h"

#include <QString>
#include <algorithm>

#include "ui/form/form_layout.h"

namespace korvel {

QIcon picture(int image) {
    if (std::ranges::find(layout::kDrawnImages, image) == layout::kDrawnImages.end()) {
        return {};
    }
    return QIcon(QStringLiteral(":/icons/image%1.svg").arg(image));
}

QIcon applicationIcon() {
    return QIcon(QStringLiteral(":/icons/korvel.svg"));
}

}  // namespace korvel
