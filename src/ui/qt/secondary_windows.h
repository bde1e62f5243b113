#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

#include "platform/windows.h"

namespace korvel {

// The About box and the help viewers on Qt Widgets.
class QtSecondaryWindows final : public SecondaryWindows {
public:
    // The main window, owner of the modal About box; set once it exists.
    void setOwner(QWidget* owner) { m_owner = owner; }

    void showAboutBox() override;
    void openHelpViewer(const std::string& pageAddress) override;

private:
    QPointer<QWidget> m_owner;
};

}  // namespace korvel
