#include "ui/form/control_fitting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

namespace korvel {
namespace {

int twelveEach(const std::string& text) {
    return 12 *
           static_cast<int>(std::ranges::count_if(text, [](char c) { return (c & 0xC0) != 0x80; }));
}

// A font of 12 pixels a character; boxes and buttons add 6 pixels, a check box's box is 13
// pixels and 4 from its caption.
TEST(FitControl, GrowsAboutTheMiddleLineWidensWrappedWordsAndNarrowCheckBoxesShowTheBox) {
    const struct {
        const char* name;
        PixelRect designed;
        int lineHeight;
        PixelRect fitted;
    } cases[] = {
        {"Label1", {8, 46, 65, 17}, 17, {8, 46, 65, 17}},        // fits
        {"Label6", {16, 19, 58, 14}, 17, {16, 18, 58, 17}},      // one line
        {"Label3", {8, 144, 69, 31}, 17, {8, 143, 72, 34}},      // two, 服务器-本机 kept whole
        {"Label8", {103, 57, 25, 12}, 17, {103, 55, 25, 17}},    // a value display
        {"Text9", {16, 35, 97, 14}, 17, {16, 31, 97, 23}},       // with its frame
        {"Text1", {78, 36, 279, 33}, 39, {78, 30, 279, 45}},     // a display box
        {"Command1", {26, 182, 63, 17}, 17, {26, 179, 63, 23}},  // a button
        {"Check3", {16, 96, 9, 15}, 17, {16, 95, 13, 17}},       // too narrow: the box alone
        {"Check1", {16, 56, 60, 17}, 17, {16, 56, 65, 17}},      // grows to its caption
        {"Check2", {16, 134, 113, 19}, 17, {16, 134, 113, 19}},  // wide enough
        {"HScroll1", {16, 77, 183, 13}, 39, {16, 77, 183, 13}},  // no text
    };
    ControlMetrics font{.frameHeight = 6, .boxSize = 13, .boxGap = 4, .textWidth = twelveEach};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        font.lineHeight = c.lineHeight;
        const auto control = std::ranges::find_if(layout::kControls, [&](const auto& each) {
            return each.name == std::string_view(c.name);
        });
        EXPECT_EQ(fitControl(*control, c.designed, font), c.fitted);
    }
}

// A status text wider than its panel shows its start, cut between characters, and an ellipsis.
TEST(FittedText, KeepsWhatFitsAndCutsTheRestAtACharacterWithAnEllipsis) {
    const struct {
        const char* text;
        int width;
        const char* fitted;
    } cases[] = {
        {"已收到 25/30", 144, "已收到 25/30"},
        {"本机没有可请求的时间服务", 96, "本机没有可请求…"},
        {"ab", 11, "…"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fittedText(c.text, c.width, twelveEach), c.fitted) << c.text;
    }
}

}  // namespace
}  // namespace korvel
