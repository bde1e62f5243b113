#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/form/form_layout.h"

namespace korvel {

// A control's rectangle in a view's pixels.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// What a view measures of a control's font, in its pixels.
struct ControlMetrics {
    int lineHeight = 0;   // one line of the font
    int frameHeight = 0;  // what a text box or a button adds around its line
    int boxSize = 0;      // a check box's box
    int boxGap = 0;       // between a check box's box and its caption
    std::function<int(const std::string&)> textWidth;  // of a line of text in the font
};

// The faces to draw a designed font with, best first: the designed face; for the brush script
// its other names, then 宋体; then the CJK faces that stand in where it is not installed (a
// serif one first for the Song and Kai faces, keeping their width and height), then any
// sans-serif face.
struct FontFaces {
    std::vector<std::string> families;
    bool serif = false;
};
FontFaces fontFaces(const layout::FontSpec& spec);

// Where a view puts a control drawn in another font than the designed one (the stand-in faces
// run taller and wider): the control grows about its designed middle line to the height its
// text needs; a wrapped caption widens to its widest word, so it breaks only at its blanks; a
// check box grows to show its caption, or, designed too narrow for box and caption, shows the
// box alone.
PixelRect fitControl(const layout::ControlLayout& control, const PixelRect& designed,
                     const ControlMetrics& metrics);

// The text as it fits a width: whole, or its start cut at a character with an ellipsis after.
std::string fittedText(const std::string& text, int width,
                       const std::function<int(const std::string&)>& textWidth);

}  // namespace korvel
