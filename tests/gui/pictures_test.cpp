#include "ui/qt/pictures.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

namespace korvel {
namespace {

// Whether the picture draws something at the size in device pixels.
bool drawsAt(const QIcon& icon, int pixels) {
    const QImage image = icon.pixmap(pixels, pixels).toImage();
    if (image.size() != QSize(pixels, pixels)) {
        return false;
    }
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    // At least a tenth of the square is covered.
    return opaque * 10 >= pixels * pixels;
}

TEST(Pictures, EveryShownPictureDrawsAtOneAndTwoTimesScale) {
    for (const int image : {2, 5, 6, 8, 11, 12, 13, 14, 16, 17}) {
        EXPECT_TRUE(drawsAt(picture(image), 32)) << image;
        EXPECT_TRUE(drawsAt(picture(image), 64)) << image;
    }
    EXPECT_TRUE(drawsAt(applicationIcon(), 32));
    EXPECT_TRUE(drawsAt(applicationIcon(), 64));
}

TEST(Pictures, IndicatorStatesLookDifferent) {
    const auto drawn = [](int image) { return picture(image).pixmap(32, 32).toImage(); };
    EXPECT_NE(drawn(5), drawn(6));
    EXPECT_NE(drawn(6), drawn(8));
    EXPECT_NE(drawn(5), drawn(8));
}

TEST(Pictures, NumbersNeverShownHaveNoPicture) {
    for (const int image : {0, 1, 3, 4, 7, 9, 10, 15, 18, 19}) {
        EXPECT_TRUE(picture(image).isNull()) << image;
    }
}

}  // namespace
}  // namespace korvel
