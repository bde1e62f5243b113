#pragma once

#include <QLibraryInfo>
#include <QString>

class QTranslator;

#include "platform/user_feedback.h"

namespace korvel {

// The program's message box: its text under the program's name, an OK button and nothing else,
// or 确定 and 取消 for a question.
class QtMessageBox final : public MessageBox {
public:
    explicit QtMessageBox(QString title) : m_title(std::move(title)) {}
    void show(const std::string& text) override;
    bool confirm(const std::string& text) override;

private:
    QString m_title;
};

// Installs Qt's own texts (the OK button, the text boxes' menu) in Simplified Chinese, as the
// whole window is Chinese whatever the locale. Without the file Qt stays in English: false.
bool installChineseQtTexts(QTranslator& translator, const QString& folder = QLibraryInfo::path(
                                                        QLibraryInfo::TranslationsPath));

class QtBeeper final : public Beeper {
public:
    void beep() override;
};

}  // namespace korvel
