#include "ui/qt/about_dialog.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/qt/fonts.h"
#include "ui/qt/twips.h"

namespace korvel {

namespace {

QLabel* addLabel(QWidget* parent, const char* caption, const QRect& place) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// Substitute fonts run wider than the ones the box was laid out for; a caption grows to the
// right rather than being cut.
void fitCaption(QLabel* label) {
    const QSize needed = label->sizeHint();
    label->resize(std::max(label->width(), needed.width()),
                  std::max(label->height(), needed.height()));
}

// The title's brush script where it is installed, else the window's CJK face.
QFont titleFont() {
    QFont font = songTi(14.4, true);
    font.setFamilies(QStringList{"楷体_GB2312", "KaiTi", "AR PL UKai CN"} + font.families());
    return font;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* owner, Registry& registry, FileSystem& files,
                         ProgramLauncher& launcher)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_cmdOK(new QPushButton(QString::fromUtf8(about::cmdOK), this)),
      m_cmdSysInfo(new QPushButton(QString::fromUtf8(about::cmdSysInfo), this)),
      m_messageBox(QGuiApplication::applicationDisplayName()),
      m_services{registry, files, launcher, m_messageBox} {
    setWindowTitle(QString::fromUtf8(about::kTitle));
    setModal(true);
    setFixedSize(twipsToPixels(6984), twipsToPixels(3516));

    QLabel* title = addLabel(this, about::lblTitle, twipsRect(1728, 456, 3432, 360));
    title->setFont(titleFont());
    title->setStyleSheet(QStringLiteral("color: rgb(0, 0, 128);"));
    addLabel(this, about::lblVersion, twipsRect(2712, 1056, 1152, 228));
    addLabel(this, about::Label1, twipsRect(2208, 1536, 2076, 276));
    QLabel* description = addLabel(this, about::lblDescription, twipsRect(936, 2136, 5112, 396));
    description->setFont(songTi(11.4, true));
    description->setStyleSheet(QStringLiteral("color: black;"));

    for (QLabel* label : findChildren<QLabel*>()) {
        fitCaption(label);
    }

    m_cmdOK->setGeometry(twipsRect(984, 2928, 1500, 345));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo->setGeometry(twipsRect(3912, 2904, 1485, 345));
    setTabOrder(m_cmdOK, m_cmdSysInfo);

    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(m_services); });
}

void AboutDialog::reject() {
    m_cmdOK->click();
}

}  // namespace korvel
