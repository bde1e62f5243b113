#pragma once

#include <QString>

#include "platform/user_feedback.h"

namespace korvel {

// The program's message box: its text under the program's name, an OK button and nothing else.
class QtMessageBox final : public MessageBox {
public:
    explicit QtMessageBox(QString title) : m_title(std::move(title)) {}
    void show(const std::string& text) override;

private:
    QString m_title;
};

class QtBeeper final : public Beeper {
public:
    void beep() override;
};

}  // namespace korvel
