#include "ui/qt/form1.h"

#include <qdrawutil.h>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMoveEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <functional>

#include "ui/form/main_form.h"
#include "ui/qt/fonts.h"
#include "ui/qt/pictures.h"
#include "ui/qt/twips.h"

namespace korvel {

namespace {

// The window as designed, in twips.
constexpr int kClientWidthTwips = 5988;
constexpr int kClientHeightTwips = 4524;
// The model's width is the outer width; the client area is narrower by the frame.
constexpr int kFrameTwips = kCollapsedWidthTwips - kClientWidthTwips;
constexpr int kToolbarHeightTwips = 636;
constexpr int kToolbarGapTwips = 2000;
constexpr int kStatusBarTopTwips = 4212;
constexpr int kStatusBarHeightTwips = 312;
constexpr int kStatusPanelWidthTwips = 1440;

constexpr double kDefaultPointSize = 9.0;
constexpr double kFrameCaptionPointSize = 11.4;
constexpr double kClockPointSize = 20.4;

constexpr int kPictureSize = 32;
// Narrow enough that all nine buttons and the gap fit the collapsed window.
constexpr int kToolButtonWidth = 33;
constexpr int kToolButtonHeight = 38;
constexpr int kToolbarMargin = 2;

// Visible steps of the sliding window.
constexpr int kSlideStepMs = 5;

constexpr QColor kFaceGrey{192, 192, 192};

struct ToolButtonSpec {
    int index;
    int image;
    const char* toolTip;
};

constexpr ToolButtonSpec kCommandButtons[] = {
    {1, 13, "测量时间服务器与本机时差"},
    {2, 2, "校准本机时间"},
    {3, 14, "参数设置"},
    {4, 12, "主页 "},
    {5, 11, "关于"},
    {6, 16, "帮助"},
    {7, 17, "退出"},
};
constexpr int kIndicatorIndex = 9;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QColor toQColor(Rgb color) {
    return {color.red, color.green, color.blue};
}

// Redraws the widget from its model now and at every change the model reports. The widget's
// own signals are blocked meanwhile, so drawing is never taken for a user's action.
template <typename Widget>
void follow(Signal& changed, Widget* widget, std::function<void(Widget*)> draw) {
    const auto redraw = [guard = QPointer<Widget>(widget), draw] {
        if (guard) {
            const QSignalBlocker blocker(guard.data());
            draw(guard.data());
        }
    };
    redraw();
    changed.connect(redraw);
}

// Places a control at its designed rectangle. Where the fallback font needs more height than
// the design gives, the control grows about its designed middle line.
void place(QWidget* widget, const QRect& designed, int neededHeight = 0) {
    QRect rect = designed;
    if (neededHeight > rect.height()) {
        rect.setTop(designed.center().y() - neededHeight / 2);
        rect.setHeight(neededHeight);
    }
    widget->setGeometry(rect);
}

QLabel* staticLabel(QWidget* parent, const char* name, const char* caption, const QRect& rect,
                    const QFont& font) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    place(label, rect, QFontMetrics(font).height());
    return label;
}

QLabel* modelLabel(QWidget* parent, const char* name, Label& model, const QRect& rect,
                   const QFont& font) {
    QLabel* label = staticLabel(parent, name, "", rect, font);
    follow<QLabel>(model.changed, label,
                   [&model](QLabel* widget) { widget->setText(qs(model.caption())); });
    return label;
}

void textBox(QWidget* parent, const char* name, TextBox& model, const QRect& rect,
             const QFont& font, bool blackBox) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setFont(font);
    if (blackBox) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, Qt::black);
        edit->setPalette(palette);
        place(edit, rect);
    } else {
        place(edit, rect, QFontMetrics(font).height() + 2);
    }
    follow<QLineEdit>(model.changed, edit, [&model, blackBox](QLineEdit* widget) {
        const QString text = qs(model.text());
        if (widget->text() != text) {
            widget->setText(text);
        }
        if (blackBox) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Text, toQColor(model.foreColor()));
            widget->setPalette(palette);
        }
        widget->setToolTip(qs(model.toolTip()));
        widget->setVisible(model.isVisible());
    });
    QObject::connect(edit, &QLineEdit::textEdited, edit,
                     [&model](const QString& text) { model.setText(text.toStdString()); });
    model.selectionRequested.connect([guard = QPointer<QLineEdit>(edit)] {
        if (guard) {
            guard->setFocus();
            guard->selectAll();
        }
    });
}

void checkBox(QWidget* parent, const char* name, const char* caption, CheckBox& model,
              const QRect& rect, const QFont& font) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setFont(font);
    // A box designed too narrow for its caption shows the box alone.
    const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
    const int spacing = box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    QRect fitted = rect;
    fitted.setWidth(rect.width() < indicator + spacing
                        ? indicator
                        : std::max(rect.width(), box->sizeHint().width()));
    place(box, fitted, std::max(QFontMetrics(font).height(), indicator));
    follow<QCheckBox>(model.changed, box, [&model](QCheckBox* widget) {
        widget->setChecked(model.isTicked());
        widget->setEnabled(model.isEnabled());
    });
    QObject::connect(box, &QCheckBox::clicked, box,
                     [&model] { model.setTicked(!model.isTicked()); });
}

void scrollBar(QWidget* parent, const char* name, ScrollBar& model, const QRect& rect) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QString::fromUtf8(name));
    bar->setRange(model.minimum(), model.maximum());
    bar->setSingleStep(model.smallStep());
    bar->setPageStep(model.largeStep());
    // Dragging the thumb reports the new value only when it is let go.
    bar->setTracking(false);
    place(bar, rect);
    follow<QScrollBar>(model.changed, bar, [&model](QScrollBar* widget) {
        widget->setValue(model.value());
        widget->setEnabled(model.isEnabled());
    });
    QObject::connect(bar, &QScrollBar::valueChanged, bar,
                     [&model](int value) { model.setValue(value); });
}

void pushButton(QWidget* parent, const char* name, const char* caption, const QRect& rect,
                const QFont& font, std::function<void()> action) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setFont(font);
    place(button, rect, QFontMetrics(font).height() + 4);
    QObject::connect(button, &QPushButton::clicked, button, std::move(action));
}

// A frame whose caption sits on its top line, so the designed positions inside it hold in
// every style.
class CaptionFrame final : public QGroupBox {
public:
    CaptionFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        // An etched line: a sunken edge one pixel wide.
        qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true);
        const QRect captionRect(kCaptionIndent, 0, metrics.horizontalAdvance(title()),
                                metrics.height());
        painter.fillRect(captionRect, palette().window());
        style()->drawItemText(&painter, captionRect, Qt::AlignCenter, palette(), isEnabled(),
                              title(), QPalette::WindowText);
    }

private:
    static constexpr int kCaptionIndent = 6;
};

QGroupBox* frame(QWidget* parent, const char* name, const char* caption, const QRect& rect) {
    auto* box = new CaptionFrame(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setFont(songTi(kFrameCaptionPointSize));
    box->setGeometry(rect);
    return box;
}

}  // namespace

Form1::Form1(MainForm& form, FormActions actions) : m_form(form), m_actions(std::move(actions)) {
    setObjectName(QStringLiteral("Form1"));
    // A fixed window: it can be moved and minimised, never resized or maximised by the user.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());
    setFont(songTi(kDefaultPointSize));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kFaceGrey);
    palette.setColor(QPalette::Button, kFaceGrey);
    setPalette(palette);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(m_client);

    buildMenus();
    buildToolbar();
    buildTimeFrame();
    buildSettingsFrame();
    buildStatusBar();

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { m_actions.cancelSettings(); });

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen->availableGeometry();
    m_topPixels =
        available.top() + std::max(0, (available.height() - twipsToPixels(kClientHeightTwips) -
                                       menuBar()->sizeHint().height()) /
                                          2);
    m_slideTimer.setTimerType(Qt::PreciseTimer);
    m_slideTimer.setInterval(kSlideStepMs);
    connect(&m_slideTimer, &QTimer::timeout, this, [this] { showNextSlideStep(); });
    followWindowModel();
    setKeyboardOrder();
    // The first keyboard focus rests on the window itself, where the hidden buttons hold it.
    m_client->setFocus();
}

void Form1::closeEvent(QCloseEvent* event) {
    m_actions.shutDown();
    event->accept();
}

// The window state follows a move of the user's, so the next slide starts where the window is
// and keeps its height on the screen.
void Form1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    const auto placed = std::find(m_placements.begin(), m_placements.end(), pos());
    if (placed != m_placements.end()) {
        m_placements.erase(m_placements.begin(), placed + 1);
        return;
    }
    if (!isVisible()) {
        return;
    }
    m_placements.clear();
    m_slideSteps.clear();
    m_slideTimer.stop();
    m_topPixels = y();
    m_target = {x() * kTwipsPerPixel, m_form.Form1.widthTwips()};
    applyGeometry(m_target);
    m_form.Form1.setGeometry(m_target.leftTwips, m_target.widthTwips);
}

void Form1::buildMenus() {
    const auto item = [this](const char* name, const char* caption,
                             const std::function<void()>& action) {
        QAction* menuItem = menuBar()->addAction(QString::fromUtf8(caption));
        menuItem->setObjectName(QString::fromUtf8(name));
        connect(menuItem, &QAction::triggered, this, [action] { action(); });
    };
    item("cheshi", "测时(&C)", [this] { m_actions.cheshiClick(); });
    item("xiaoshi", "校准(&A)", [this] { m_actions.xiaoshiClick(); });
    item("shezhi", "设置(&S)", [this] { m_actions.shezhiClick(); });
    item("guanyu", "关于(&W)       ", [this] { m_actions.guanyuClick(); });
}

void Form1::buildToolbar() {
    m_toolbar = new QWidget(m_client);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    auto* row = new QHBoxLayout(m_toolbar);
    row->setContentsMargins(kToolbarMargin, kToolbarMargin, 0, kToolbarMargin);
    row->setSpacing(0);
    const auto button = [this, row](int index, int image, const char* toolTip) {
        auto* toolButton = new QToolButton(m_toolbar);
        toolButton->setObjectName(QStringLiteral("Toolbar1.Button%1").arg(index));
        toolButton->setAutoRaise(true);
        toolButton->setFocusPolicy(Qt::NoFocus);
        toolButton->setIconSize(QSize(kPictureSize, kPictureSize));
        toolButton->setIcon(picture(image));
        toolButton->setToolTip(QString::fromUtf8(toolTip));
        toolButton->setFixedSize(kToolButtonWidth, kToolButtonHeight);
        connect(toolButton, &QToolButton::clicked, this,
                [this, index] { m_actions.toolbarClick(index); });
        row->addWidget(toolButton);
        return toolButton;
    };
    for (const ToolButtonSpec& spec : kCommandButtons) {
        button(spec.index, spec.image, spec.toolTip);
    }
    row->addSpacing(twipsToPixels(kToolbarGapTwips));
    QToolButton* indicator = button(kIndicatorIndex, Toolbar::kRestImage, "");
    follow<QToolButton>(m_form.Toolbar1.changed, indicator, [this](QToolButton* widget) {
        widget->setIcon(picture(m_form.Toolbar1.indicatorImage()));
    });
    row->addStretch(1);
}

void Form1::buildTimeFrame() {
    const QFont font = songTi(kDefaultPointSize);
    const QFont clockFont = microsoftSansSerif(kClockPointSize);
    QGroupBox* frame1 = frame(m_client, "Frame1", " 时  间 ", twipsRect(210, 1020, 5565, 3075));
    staticLabel(frame1, "Label1", "服务器时间", twipsRect(120, 690, 975, 255), font);
    textBox(frame1, "Text1", m_form.Text1, twipsRect(1170, 540, 4185, 495), clockFont, true);
    staticLabel(frame1, "Label2", "本机时间", twipsRect(120, 1470, 795, 255), font);
    textBox(frame1, "Text2", m_form.Text2, twipsRect(1170, 1320, 4185, 525), clockFont, true);
    QLabel* label3 =
        staticLabel(frame1, "Label3", "服务器-本机    时差", twipsRect(120, 2160, 1035, 465), font);
    // Two lines, as the designed box breaks it.
    label3->setWordWrap(true);
    place(label3, twipsRect(120, 2160, 1035, 465), 2 * QFontMetrics(font).height());
    textBox(frame1, "Text3", m_form.Text3, twipsRect(1170, 2100, 4185, 495), clockFont, true);
}

void Form1::buildSettingsFrame() {
    const QFont font = songTi(kDefaultPointSize);
    const QFont bold = songTi(kDefaultPointSize, true);
    QGroupBox* frame3 = frame(m_client, "Frame3", "设 置", twipsRect(6120, 1020, 3225, 3075));
    staticLabel(frame3, "Label6", "服务器IP", twipsRect(240, 288, 876, 204), font);
    textBox(frame3, "Text9", m_form.Text9, twipsRect(240, 528, 1450, 216), font, false);
    staticLabel(frame3, "Label11", "本机端口", twipsRect(2160, 288, 732, 156), font);
    textBox(frame3, "Text10", m_form.Text10, twipsRect(2280, 528, 560, 228), font, false);
    checkBox(frame3, "Check1", "定时校时", m_form.Check1, twipsRect(240, 840, 996, 250), font);
    staticLabel(frame3, "Label7", "每", twipsRect(1296, 876, 252, 180), font);
    // The two value displays are designed as empty captions that grow with their text; each
    // shows its value centred in the gap between its neighbours.
    modelLabel(frame3, "Label8", m_form.Label8, twipsRect(1548, 860, 372, 180), bold)
        ->setAlignment(Qt::AlignCenter);
    staticLabel(frame3, "Label9", "小时校时一次", twipsRect(1920, 870, 1080, 180), font);
    scrollBar(frame3, "HScroll1", m_form.HScroll1, twipsRect(240, 1152, 2745, 195));
    checkBox(frame3, "Check3", "时差限制", m_form.Check3, twipsRect(240, 1440, 130, 225), font);
    staticLabel(frame3, "Label5", "时差大于", twipsRect(480, 1490, 730, 170), font);
    modelLabel(frame3, "Label4", m_form.Label4, twipsRect(1210, 1488, 518, 180), bold)
        ->setAlignment(Qt::AlignCenter);
    staticLabel(frame3, "Label10", "(ms)不校准", twipsRect(1728, 1488, 1068, 192), font);
    scrollBar(frame3, "HScroll2", m_form.HScroll2, twipsRect(240, 1760, 2745, 195));
    checkBox(frame3, "Check2", "校时数据保存", m_form.Check2, twipsRect(240, 2016, 1695, 285),
             font);
    textBox(frame3, "Text4", m_form.Text4, twipsRect(240, 2340, 2715, 285), font, false);
    pushButton(frame3, "Command1", "确  定", twipsRect(390, 2736, 945, 255), font,
               [this] { m_actions.applySettings(); });
    pushButton(frame3, "Command7", "取  消", twipsRect(1890, 2736, 945, 255), font,
               [this] { m_actions.cancelSettings(); });
}

void Form1::setKeyboardOrder() {
    // The visible controls in their designed keyboard order.
    const char* const order[] = {"Check1",   "Check2", "Text4", "HScroll1", "Check3",
                                 "HScroll2", "Text3",  "Text2", "Text1",    "Command1",
                                 "Command7", "Text9",  "Text10"};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(findChild<QWidget*>(QString::fromUtf8(order[i - 1])),
                    findChild<QWidget*>(QString::fromUtf8(order[i])));
    }
}

void Form1::buildStatusBar() {
    m_statusBar = new QStatusBar(m_client);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    for (std::size_t panel = 0; panel < 2; ++panel) {
        auto* text = new QLabel(m_statusBar);
        text->setObjectName(QStringLiteral("StatusBar1.Panel%1").arg(panel + 1));
        text->setTextFormat(Qt::PlainText);
        text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        text->setMinimumWidth(twipsToPixels(kStatusPanelWidthTwips));
        m_statusBar->addWidget(text);
        follow<QLabel>(m_form.StatusBar1.changed, text, [this, panel](QLabel* widget) {
            widget->setText(qs(m_form.StatusBar1.panel(panel)));
        });
    }
}

void Form1::followWindowModel() {
    const auto draw = [this] {
        const WindowModel& window = m_form.Form1;
        setWindowTitle(qs(window.caption()));
        const Geometry latest{window.leftTwips(), window.widthTwips()};
        if (latest == m_target) {
            return;
        }
        m_target = latest;
        if (!isVisible()) {
            m_slideSteps.clear();
            applyGeometry(latest);
        } else {
            m_slideSteps.push_back(latest);
            if (!m_slideTimer.isActive()) {
                m_slideTimer.start();
            }
        }
    };
    draw();
    m_form.Form1.changed.connect([guard = QPointer<Form1>(this), draw] {
        if (guard) {
            draw();
        }
    });
}

void Form1::showNextSlideStep() {
    if (m_slideSteps.empty()) {
        m_slideTimer.stop();
        return;
    }
    applyGeometry(m_slideSteps.front());
    m_slideSteps.pop_front();
}

void Form1::applyGeometry(Geometry geometry) {
    const int clientWidth = twipsToPixels(geometry.widthTwips - kFrameTwips);
    const int clientHeight = twipsToPixels(kClientHeightTwips);
    m_toolbar->setGeometry(0, 0, clientWidth, twipsToPixels(kToolbarHeightTwips));
    m_statusBar->setGeometry(0, twipsToPixels(kStatusBarTopTwips), clientWidth,
                             twipsToPixels(kStatusBarHeightTwips));
    m_client->setFixedSize(clientWidth, clientHeight);
    const int menuHeight =
        std::max(menuBar()->sizeHint().height(), menuBar()->heightForWidth(clientWidth));
    setFixedSize(clientWidth, menuHeight + clientHeight);
    const QPoint place(twipsToPixels(geometry.leftTwips), m_topPixels);
    if (place != pos()) {
        m_placements.push_back(place);
        move(place);
    }
}

}  // namespace korvel
