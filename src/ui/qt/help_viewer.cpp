#include "ui/qt/help_viewer.h"

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolBar>

#include <algorithm>
#include <iterator>

#include "ui/form/form_layout.h"
#include "ui/qt/twips.h"

namespace korvel {

namespace {

int twips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// The standard pictures of the toolbar's buttons, in their order.
constexpr QStyle::StandardPixmap kPictures[] = {QStyle::SP_ArrowBack, QStyle::SP_ArrowForward,
                                                QStyle::SP_BrowserStop, QStyle::SP_BrowserReload};
static_assert(std::size(kPictures) == std::size(layout::help::kButtons));

}  // namespace

HelpViewer::HelpViewer(TimerService& timers)
    : m_tbToolBar(new QToolBar(this)),
      m_picAddress(new QWidget(this)),
      m_lblAddress(new QLabel(QString::fromUtf8(layout::help::kAddressCaption), m_picAddress)),
      m_cboAddress(new QComboBox(m_picAddress)),
      m_brwWebBrowser(new HelpTextBrowser(this)),
      m_browser(*m_brwWebBrowser),
      m_form(m_browser, timers) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_tbToolBar->setIconSize(QSize(layout::help::kPictureSize, layout::help::kPictureSize));
    m_tbToolBar->setMovable(false);
    m_tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (std::size_t i = 0; i < std::size(kPictures); ++i) {
        addButton(layout::help::kButtons[i].key, kPictures[i], layout::help::kButtons[i].toolTip);
    }

    m_lblAddress->setBuddy(m_cboAddress);
    m_cboAddress->setEditable(true);
    // The form keeps the list; the box itself adds nothing on Enter.
    m_cboAddress->setInsertPolicy(QComboBox::NoInsert);
    m_cboAddress->lineEdit()->installEventFilter(this);
    connect(m_cboAddress, &QComboBox::editTextChanged, this,
            [this](const QString& text) { m_form.setAddressText(text.toStdString()); });
    connect(m_cboAddress, &QComboBox::activated, this, [this](int index) {
        m_form.setAddressText(m_cboAddress->itemText(index).toStdString());
        m_form.cboAddressClick();
    });

    // The page takes the keyboard first; Tab goes on to the address box and back.
    m_brwWebBrowser->setFocus();
    m_redraw = m_form.changed.connect([this] { redraw(); });
    resize(twipsToPixels(BrowserForm::kClientWidthTwips),
           twipsToPixels(BrowserForm::kClientHeightTwips));
    redraw();
}

void HelpViewer::open(const std::string& startingAddress) {
    m_form.StartingAddress = startingAddress;
    m_form.formLoad();
}

QAction* HelpViewer::toolbarAction(const QString& key) const {
    for (QAction* action : m_tbToolBar->actions()) {
        if (action->data().toString() == key) {
            return action;
        }
    }
    return nullptr;
}

void HelpViewer::addButton(const char* key, QStyle::StandardPixmap picture, const char* toolTip) {
    QAction* action = m_tbToolBar->addAction(style()->standardIcon(picture), QString());
    action->setData(QString::fromLatin1(key));
    action->setToolTip(QString::fromUtf8(toolTip));
    const std::string buttonKey = key;
    connect(action, &QAction::triggered, this,
            [this, buttonKey] { m_form.tbToolBarButtonClick(buttonKey); });
}

void HelpViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_form.formResize(twips(width()), twips(height()));
}

// Enter in the address box goes to the form alone; every other key also reaches the box.
bool HelpViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_cboAddress->lineEdit() && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.size() == 1) {
            const int keyAscii = text.at(0).unicode();
            m_form.cboAddressKeyPress(keyAscii);
            return keyAscii == BrowserForm::kEnterKey;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HelpViewer::redraw() {
    setWindowTitle(QString::fromStdString(m_form.caption()));
    m_tbToolBar->setGeometry(0, 0, width(), twipsToPixels(BrowserForm::kToolbarHeightTwips));
    m_picAddress->setGeometry(twipsRect(m_form.picAddress()));
    m_lblAddress->setGeometry(twipsRect(m_form.lblAddress()));
    m_cboAddress->setGeometry(twipsRect(m_form.cboAddress()));
    m_brwWebBrowser->setGeometry(twipsRect(m_form.brwWebBrowser()));

    QStringList items;
    for (const std::string& item : m_form.addressItems()) {
        items.append(QString::fromStdString(item));
    }
    QStringList shown;
    for (int i = 0; i < m_cboAddress->count(); ++i) {
        shown.append(m_cboAddress->itemText(i));
    }
    const QString text = QString::fromStdString(m_form.addressText());
    // Filling the box from the form must not flow back into it.
    const QSignalBlocker blocker(m_cboAddress);
    if (shown != items) {
        m_cboAddress->clear();
        m_cboAddress->addItems(items);
    }
    if (m_cboAddress->currentText() != text) {
        m_cboAddress->setEditText(text);
    }
    if (m_form.isVisible() && !isVisible()) {
        // Centred on a small screen's work area and inside it, title bar and frame included.
        const QRect area = screen()->availableGeometry();
        constexpr int kFrameAllowance = 40;
        resize(std::min(width(), area.width() - kFrameAllowance),
               std::min(height(), area.height() - kFrameAllowance));
        move(area.center() - QPoint(width() / 2, height() / 2));
        show();
    }
}

}  // namespace korvel
