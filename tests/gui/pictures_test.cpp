#include "ui/qt/pictures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

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

// Every picture shown draws at 1x and 2x, no other number has one, and the indicator's three
// states look different.
TEST(Pictures, ShownPicturesDrawAtOneAndTwoTimesScaleAndNoOthersExist) {
    for (const int image : {2, 5, 6, 8, 11, 12, 13, 14, 16, 17}) {
        EXPECT_TRUE(drawsAt(picture(image), 32) && drawsAt(picture(image), 64)) << image;
    }
    EXPECT_TRUE(drawsAt(applicationIcon(), 32) && drawsAt(applicationIcon(), 64));
    for (const int image : {0, 1, 3, 4, 7, 9, 10, 15, 18}) {
        EXPECT_TRUE(picture(image).isNull()) << image;
    }
    const auto drawn = [](int image) { return picture(image).pixmap(32, 32).toImage(); };
    EXPECT_TRUE(drawn(5) != drawn(6) && drawn(6) != drawn(8) && drawn(5) != drawn(8));
}

}  // namespace
}  // namespace korvel
