#pragma once

#include <QStringList>
#include <QWidget>

#include "ui/form/burst_details.h"

namespace korvel {

// The 测时详情 window: draws the details model's two plots and redraws when it changes. Esc
// closes it.
class BurstDetailsWindow final : public QWidget {
public:
    // The model must outlive the window.
    BurstDetailsWindow(BurstDetails& model, QWidget* owner);

    // The legend's lines as last drawn.
    const QStringList& shownLegend() const { return m_shownLegend; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    BurstDetails& m_details;
    Connection m_changed;
    QStringList m_shownLegend;
};

}  // namespace korvel
