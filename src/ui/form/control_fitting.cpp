#include "ui/form/control_fitting.h"

#include <algorithm>

namespace korvel {

namespace {

using layout::ControlKind;

int neededHeight(const layout::ControlLayout& control, const ControlMetrics& metrics) {
    switch (control.kind) {
        case ControlKind::Label:
            return control.wrapped ? 2 * metrics.lineHeight : metrics.lineHeight;
        case ControlKind::ValueLabel:
            return metrics.lineHeight;
        case ControlKind::TextBox:
        case ControlKind::ComboBox:
        case ControlKind::DisplayBox:
        case ControlKind::Button:
            return metrics.lineHeight + metrics.frameHeight;
        case ControlKind::CheckBox:
            return std::max(metrics.lineHeight, metrics.boxSize);
        case ControlKind::Frame:
        case ControlKind::ScrollBar:
            break;
    }
    return 0;
}

// The widest part of the caption between its blanks.
int widestWord(const std::string& caption, const ControlMetrics& metrics) {
    int widest = 0;
    std::size_t start = 0;
    while (start < caption.size()) {
        const std::size_t blank = std::min(caption.find(' ', start), caption.size());
        if (blank > start) {
            widest = std::max(widest, metrics.textWidth(caption.substr(start, blank - start)));
        }
        start = blank + 1;
    }
    return widest;
}

}  // namespace

FontFaces fontFaces(const layout::FontSpec& spec) {
    const std::string family = spec.family;
    FontFaces faces{{family}, family == layout::kSongTi || family == layout::kKaiTi};
    if (family == layout::kKaiTi) {
        faces.families.insert(faces.families.end(), {"KaiTi", "AR PL UKai CN", layout::kSongTi});
    }
    if (faces.serif) {
        faces.families.emplace_back("Noto Serif CJK SC");
    }
    faces.families.insert(faces.families.end(), {"Noto Sans CJK SC", "WenQuanYi Micro Hei",
                                                 "WenQuanYi Zen Hei", "Sans Serif"});
    return faces;
}

PixelRect fitControl(const layout::ControlLayout& control, const PixelRect& designed,
                     const ControlMetrics& metrics) {
    PixelRect rect = designed;
    if (control.kind == ControlKind::CheckBox) {
        rect.width = designed.width < metrics.boxSize + metrics.boxGap
                         ? metrics.boxSize
                         : std::max(designed.width, metrics.boxSize + metrics.boxGap +
                                                        metrics.textWidth(control.caption));
    } else if (control.wrapped) {
        rect.width = std::max(designed.width, widestWord(control.caption, metrics));
    }
    const int needed = neededHeight(control, metrics);
    if (needed > rect.height) {
        rect.top += (rect.height - needed) / 2;
        rect.height = needed;
    }
    return rect;
}

std::string fittedText(const std::string& text, int width,
                       const std::function<int(const std::string&)>& textWidth) {
    if (textWidth(text) <= width) {
        return text;
    }
    std::string start = text;
    while (!start.empty() && textWidth(start + "…") > width) {
        // Back over a whole UTF-8 character: its continuation bytes, then its first.
        while (!start.empty() && (static_cast<unsigned char>(start.back()) & 0xC0) == 0x80) {
            start.pop_back();
        }
        if (!start.empty()) {
            start.pop_back();
        }
    }
    return start + "…";
}

}  // namespace korvel
