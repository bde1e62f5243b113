#include "ui/qt/about_dialog.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace korvel {

namespace {

constexpr double kTwipsPerPixel = 15.0;

int pixels(int twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

QRect pixelRect(int left, int top, int width, int height) {
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

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

// The fonts the box was laid out for, else a CJK face that is installed.
QFont boxFont(const QStringList& families, double points) {
    QFont font;
    font.setFamilies(families +
                     QStringList{"Noto Serif CJK SC", "Noto Sans CJK SC", "WenQuanYi Zen Hei"});
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

}  // namespace

// The message of the system-information look-up, owned by the About box.
class AboutDialog::OwnedMessageBox final : public MessageBox {
public:
    explicit OwnedMessageBox(QWidget* owner) : m_owner(owner) {}
    void show(const std::string& text) override {
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                        QString::fromStdString(text), QMessageBox::Ok, m_owner);
        box.exec();
    }

private:
    QWidget* m_owner;
};

AboutDialog::AboutDialog(QWidget* owner, Registry& registry, FileSystem& files,
                         ProgramLauncher& launcher)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_cmdOK(new QPushButton(QString::fromUtf8(about::cmdOK), this)),
      m_cmdSysInfo(new QPushButton(QString::fromUtf8(about::cmdSysInfo), this)),
      m_messageBox(std::make_unique<OwnedMessageBox>(this)),
      m_services{registry, files, launcher, *m_messageBox} {
    setWindowTitle(QString::fromUtf8(about::kTitle));
    setModal(true);
    setFixedSize(pixels(6984), pixels(3516));

    QLabel* title = addLabel(this, about::lblTitle, pixelRect(1728, 456, 3432, 360));
    title->setFont(boxFont({"楷体_GB2312", "KaiTi", "AR PL UKai CN"}, 14.4));
    title->setStyleSheet(QStringLiteral("color: rgb(0, 0, 128);"));
    addLabel(this, about::lblVersion, pixelRect(2712, 1056, 1152, 228));
    addLabel(this, about::Label1, pixelRect(2208, 1536, 2076, 276));
    QLabel* description = addLabel(this, about::lblDescription, pixelRect(936, 2136, 5112, 396));
    description->setFont(boxFont({"宋体", "SimSun"}, 11.4));
    description->setStyleSheet(QStringLiteral("color: black;"));

    for (QLabel* label : findChildren<QLabel*>()) {
        fitCaption(label);
    }

    m_cmdOK->setGeometry(pixelRect(984, 2928, 1500, 345));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo->setGeometry(pixelRect(3912, 2904, 1485, 345));
    setTabOrder(m_cmdOK, m_cmdSysInfo);

    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(m_services); });
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::reject() {
    m_cmdOK->click();
}

}  // namespace korvel
