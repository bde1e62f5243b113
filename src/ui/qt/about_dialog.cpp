#include "ui/qt/about_dialog.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/qt/fonts.h"
#include "ui/qt/twips.h"

namespace korvel {

namespace {

// Substitute fonts run wider than the ones the box was laid out for; a caption grows to the
// right rather than being cut.
void fitCaption(QLabel* label) {
    const QSize needed = label->sizeHint();
    label->resize(std::max(label->width(), needed.width()),
                  std::max(label->height(), needed.height()));
}

}  // namespace

AboutDialog::AboutDialog(QWidget* owner, const SysInfoServices& services)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_cmdOK(new QPushButton(QString::fromUtf8(about::cmdOK), this)),
      m_cmdSysInfo(new QPushButton(QString::fromUtf8(about::cmdSysInfo), this)),
      m_services(services) {
    setWindowTitle(QString::fromUtf8(about::kTitle));
    setModal(true);
    setFixedSize(twipsToPixels(layout::about::kWidthTwips),
                 twipsToPixels(layout::about::kHeightTwips));

    for (const layout::about::LabelLayout& spec : layout::about::kLabels) {
        auto* label = new QLabel(QString::fromUtf8(spec.caption), this);
        label->setGeometry(twipsRect(spec.rect));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (spec.font) {
            label->setFont(designedFont(*spec.font));
        }
        if (spec.color) {
            label->setStyleSheet(QStringLiteral("color: rgb(%1, %2, %3);")
                                     .arg(spec.color->red)
                                     .arg(spec.color->green)
                                     .arg(spec.color->blue));
        }
        fitCaption(label);
    }

    m_cmdOK->setGeometry(twipsRect(layout::about::kCmdOK));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo->setGeometry(twipsRect(layout::about::kCmdSysInfo));
    setTabOrder(m_cmdOK, m_cmdSysInfo);

    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(m_services); });
}

void AboutDialog::reject() {
    m_cmdOK->click();
}

}  // namespace korvel
