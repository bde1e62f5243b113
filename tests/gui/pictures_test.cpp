#include "ui/qt/pictures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "ui/form/form_layout.h"

namespace korvel {
namespace {

// Whether the picture covers at least a tenth of a square of that many device pixels.
bool drawsAt(const QIcon& icon, int pixels) {
    const QImage image = icon.pixmap(pixels, pixels).toImage();
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return image.size() == QSize(pixels, pixels) && opaque * 10 >= pixels * pixels;
}

// Every picture the window shows draws at 1x and 2x, and the indicator's three states look
// different.
TEST(Pictures, ShownPicturesDrawAtOneAndTwoTimesScale) {
    for (const int image : layout::kDrawnImages) {
        EXPECT_TRUE(drawsAt(picture(image), 32) && drawsAt(picture(image), 64)) << image;
    }
    EXPECT_TRUE(drawsAt(applicationIcon(), 32) && drawsAt(applicationIcon(), 64));
    const auto drawn = [](int image) { return picture(image).pixmap(32, 32).toImage(); };
    EXPECT_TRUE(drawn(5) != drawn(6) && drawn(6) != drawn(8) && drawn(5) != drawn(8));
}

}  // namespace
}  // namespace korvel
