#include "ui/qt/pictures.h"

#include <QString>
#include <algorithm>
#include <array>

namespace korvel {

namespace {

// The pictures the toolbar shows; the other numbers of the list are never used.
constexpr std::array kDrawnImages{2, 5, 6, 8, 11, 12, 13, 14, 16, 17};

}  // namespace

QIcon picture(int image) {
    if (std::find(kDrawnImages.begin(), kDrawnImages.end(), image) == kDrawnImages.end()) {
        return {};
    }
    return QIcon(QStringLiteral(":/icons/image%1.svg").arg(image));
}

QIcon applicationIcon() {
    return QIcon(QStringLiteral(":/icons/korvel.svg"));
}

}  // namespace korvel
