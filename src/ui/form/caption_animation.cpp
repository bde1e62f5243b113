#include "ui/form/caption_animation.h"

#include <string>

#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr std::int16_t kCaptionStepBlanks = 15;
constexpr std::int16_t kMostCaptionBlanks = 60;

}  // namespace

void captionTick(MainForm& form) {
    if (!form.Command5.isEnabled()) {
        form.captionStep = static_cast<std::int16_t>(form.captionStep + kCaptionStepBlanks);
        form.Form1.setCaption("连接服务器" +
                              std::string(static_cast<std::size_t>(form.captionStep), ' ') + "->");
        if (form.captionStep > kMostCaptionBlanks) {
            form.captionStep = 0;
        }
    } else {
        form.Form1.setCaption(std::string(kWindowTitle) + " ");
        form.timers.Timer7->stop();
    }
}

}  // namespace korvel
