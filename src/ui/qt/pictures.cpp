#include "ui/qt/pictures.h"

#include <QPainter>
#include <QPixmap>
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

QIcon badgedIcon(int badge) {
    if (badge == 0) {
        return applicationIcon();
    }
    QIcon badged;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        applicationIcon().paint(&painter, 0, 0, size, size);
        const int badgeSize = size * 9 / 16;
        picture(badge).paint(&painter, size - badgeSize, size - badgeSize, badgeSize, badgeSize);
        painter.end();
        badged.addPixmap(pixmap);
    }
    return badged;
}

}  // namespace korvel
