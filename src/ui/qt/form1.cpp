#include "ui/qt/form1.h"

#include <qdrawutil.h>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "ui/form/control_fitting.h"
#include "ui/form/form_layout.h"
#include "ui/form/main_form.h"
#include "ui/qt/fonts.h"
#include "ui/qt/pictures.h"
#include "ui/qt/twips.h"

namespace korvel {

namespace {

using layout::ControlKind;
using layout::ControlLayout;

// What a text box's and a button's frames add around a line of their font.
constexpr int kTextBoxFrame = 2;
constexpr int kButtonFrame = 4;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QColor toQColor(Rgb color) {
    return {color.red, color.green, color.blue};
}

// The font's measures and the place a control of the layout takes with it.
QRect fitted(const ControlLayout& control, const QFont& font, int frameHeight = 0,
             const QStyle* style = nullptr) {
    const QFontMetrics metrics(font);
    const QRect designed = twipsRect(control.rect);
    const PixelRect rect = fitControl(
        control, {designed.x(), designed.y(), designed.width(), designed.height()},
        {.lineHeight = metrics.height(),
         .frameHeight = frameHeight,
         .boxSize = style != nullptr ? style->pixelMetric(QStyle::PM_IndicatorWidth) : 0,
         .boxGap = style != nullptr ? style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) : 0,
         .textWidth = [&metrics](const std::string& text) {
             return metrics.horizontalAdvance(qs(text));
         }});
    return {rect.left, rect.top, rect.width, rect.height};
}

QLabel* staticLabel(QWidget* parent, const ControlLayout& control, const QFont& font) {
    auto* label = new QLabel(QString::fromUtf8(control.caption), parent);
    label->setObjectName(QString::fromUtf8(control.name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(control.wrapped);
    label->setGeometry(fitted(control, font));
    return label;
}

void pushButton(QWidget* parent, const ControlLayout& control, const QFont& font,
                std::function<void()> action) {
    auto* button = new QPushButton(QString::fromUtf8(control.caption), parent);
    button->setObjectName(QString::fromUtf8(control.name));
    button->setFont(font);
    button->setGeometry(fitted(control, font, kButtonFrame));
    QObject::connect(button, &QPushButton::clicked, button, std::move(action));
}

// A scroll bar that takes its keys by the model's rule and shows when it has the focus.
class FormScrollBar final : public QScrollBar {
public:
    FormScrollBar(ScrollBar& model, QWidget* parent)
        : QScrollBar(Qt::Horizontal, parent), m_model(model) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        using Key = ScrollBar::Key;
        static const std::map<int, Key> kKeys{
            {Qt::Key_Left, Key::Left},     {Qt::Key_Up, Key::Up},
            {Qt::Key_PageUp, Key::PageUp}, {Qt::Key_Right, Key::Right},
            {Qt::Key_Down, Key::Down},     {Qt::Key_PageDown, Key::PageDown},
            {Qt::Key_Home, Key::Home},     {Qt::Key_End, Key::End}};
        if (const auto key = kKeys.find(event->key()); key != kKeys.end()) {
            m_model.pressKey(key->second);
        } else {
            QScrollBar::keyPressEvent(event);
        }
    }
    void paintEvent(QPaintEvent* event) override {
        QScrollBar::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(this);
            QStyleOptionFocusRect option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }

private:
    ScrollBar& m_model;
};

// A frame whose caption sits on its top line, so the designed positions inside it hold in
// every style. The caption's ink, not its line height, starts at the top: the stand-in faces
// carry more space above their glyphs than the designed ones.
class CaptionFrame final : public QGroupBox {
public:
    CaptionFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect ink = metrics.tightBoundingRect(title());  // about the baseline
        const int baseline = kCaptionInkTop - ink.top();
        // An etched line through the middle of the caption: a sunken edge one pixel wide.
        qDrawShadeRect(&painter, rect().adjusted(0, kCaptionInkTop + ink.height() / 2, 0, 0),
                       palette(), true);
        const int width = metrics.horizontalAdvance(title());
        painter.fillRect(QRect(kCaptionIndent, 0, width, baseline + metrics.descent()),
                         palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPoint(kCaptionIndent, baseline), title());
    }

private:
    static constexpr int kCaptionIndent = 6;
    static constexpr int kCaptionInkTop = 1;
};

// A panel of the status bar. The settings summaries grow the panel to show them whole (a
// cut number would be a wrong one); the last panel takes the room left, shows what does not
// fit cut with an ellipsis and the whole text as its tool tip, and takes no room when empty.
class StatusPanel final : public QLabel {
public:
    StatusPanel(bool last, QWidget* parent) : QLabel(parent), m_last(last) {
        setTextFormat(Qt::PlainText);
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setContentsMargins(kTextMargin, 0, kTextMargin, 0);
        if (m_last) {
            setMinimumWidth(0);
            setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        }
    }
    void setWholeText(const QString& text) {
        m_whole = text;
        if (m_last) {
            setVisible(!text.isEmpty());
            setToolTip(text);
        } else {
            const int needed =
                fontMetrics().horizontalAdvance(text) + 2 * (frameWidth() + kTextMargin);
            setMinimumWidth(std::max(twipsToPixels(layout::kStatusPanelWidthTwips), needed));
        }
        fit();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    static constexpr int kTextMargin = 3;
    void fit() {
        setText(m_last ? fontMetrics().elidedText(m_whole, Qt::ElideRight, contentsRect().width())
                       : m_whole);
    }

    bool m_last;
    QString m_whole;
};

}  // namespace

Form1::Form1(MainForm& form, FormActions actions) : m_form(form), m_actions(std::move(actions)) {
    setObjectName(QStringLiteral("Form1"));
    // A fixed window: it can be moved and minimised, never resized or maximised by the user.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());
    setFont(designedFont(layout::kWindowFont));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, toQColor(layout::kFaceGrey));
    palette.setColor(QPalette::Button, toQColor(layout::kFaceGrey));
    setPalette(palette);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(m_client);

    buildMenus();
    buildToolbar();
    buildControls();
    buildStatusBar();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this,
            [this] { m_actions.toolbarClick(layout::kHelpKeyButton); });

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const int centredTop =
        available.top() +
        std::max(0, (available.height() - twipsToPixels(layout::kClientHeightTwips) -
                     menuBar()->sizeHint().height()) /
                        2);
    m_slide.emplace(
        m_form.Form1, m_form.platform.timers, centredTop,
        WindowSlide::View{
            .isShown = [this] { return isVisible(); },
            .pixels = [](int twips) { return twipsToPixels(twips); },
            .twips = [](int pixels) { return pixels * kTwipsPerPixel; },
            .draw = [this](const WindowSlide::Geometry& geometry,
                           WindowSlide::Place place) { applyGeometry(geometry, place); },
        });
    m_connections.push_back(
        m_form.Form1.changed.connect([this] { setWindowTitle(qs(m_form.Form1.caption())); }));
    setWindowTitle(qs(m_form.Form1.caption()));
    m_connections.push_back(m_form.Form1.shownChanged.connect([this] {
        const bool shown = m_form.Form1.isShown();
        // A box or help viewer closed while the window is in the tray must not end the program.
        QApplication::setQuitOnLastWindowClosed(shown);
        setVisible(shown);
    }));
    m_connections.push_back(m_form.Form1.frontRequested.connect([this] {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    }));
    // The first keyboard focus rests on the window itself, where the hidden buttons hold it.
    m_client->setFocus();
}

void Form1::closeEvent(QCloseEvent* event) {
    // A correction awaiting its answer closes the program itself once answered; a window that
    // goes to the tray is hidden by its model.
    if (m_actions.closeWindow()) {
        event->accept();
    } else {
        event->ignore();
    }
}

// Esc that no control took runs 取  消; an open drop-down list takes its own Esc and only
// closes.
void Form1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_actions.cancelSettings();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Form1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (m_slide) {
        m_slide->reported({x(), y()});
    }
}

template <typename Widget>
void Form1::follow(Signal& changed, Widget* widget, std::function<void(Widget*)> draw) {
    // The widget's own signals are blocked meanwhile, so drawing is never taken for a user's
    // action.
    const auto redraw = [widget, draw] {
        const QSignalBlocker blocker(widget);
        draw(widget);
    };
    redraw();
    m_connections.push_back(changed.connect(redraw));
}

void Form1::buildMenus() {
    for (const layout::MenuLayout& menu : layout::kMenus) {
        QAction* menuItem = menuBar()->addAction(QString::fromUtf8(menu.caption));
        menuItem->setObjectName(QString::fromUtf8(menu.name));
        connect(menuItem, &QAction::triggered, this,
                [this, action = menu.action] { (m_actions.*action)(); });
    }
    QMenu* options = menuBar()->addMenu(QString::fromUtf8(layout::kOptionsMenu.caption));
    options->setObjectName(QString::fromUtf8(layout::kOptionsMenu.name));
    for (const layout::OptionsItemLayout& item : layout::kOptionsItems) {
        QAction* entry = options->addAction(QString::fromUtf8(item.caption));
        entry->setObjectName(QString::fromUtf8(item.name));
        if (item.check == nullptr) {
            connect(entry, &QAction::triggered, this,
                    [this, action = item.action] { (m_actions.*action)(); });
            continue;
        }
        // The tick shows the model only: a click asks the handler, which may refuse.
        CheckBox& model = m_form.*item.check;
        const auto drawTick = [&model](QAction* tick) { tick->setChecked(model.isTicked()); };
        entry->setCheckable(true);
        connect(entry, &QAction::triggered, this, [this, entry, drawTick, action = item.action] {
            (m_actions.*action)();
            drawTick(entry);
        });
        follow<QAction>(model.changed, entry, drawTick);
    }
}

void Form1::buildToolbar() {
    m_toolbar = new QWidget(m_client);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    auto* row = new QHBoxLayout(m_toolbar);
    row->setContentsMargins(layout::kToolbarMargin, layout::kToolbarMargin, 0,
                            layout::kToolbarMargin);
    row->setSpacing(0);
    const auto button = [this, row](const layout::ToolButtonLayout& spec) {
        auto* toolButton = new QToolButton(m_toolbar);
        toolButton->setObjectName(QStringLiteral("Toolbar1.Button%1").arg(spec.index));
        toolButton->setAutoRaise(true);
        toolButton->setFocusPolicy(Qt::NoFocus);
        toolButton->setIconSize(QSize(layout::kPictureSize, layout::kPictureSize));
        toolButton->setIcon(picture(spec.image));
        toolButton->setToolTip(QString::fromUtf8(spec.toolTip));
        toolButton->setFixedSize(layout::kToolButtonWidth, layout::kToolButtonHeight);
        connect(toolButton, &QToolButton::clicked, this,
                [this, index = spec.index] { m_actions.toolbarClick(index); });
        row->addWidget(toolButton);
        return toolButton;
    };
    for (const layout::ToolButtonLayout& spec : layout::kToolButtons) {
        button(spec);
    }
    row->addSpacing(twipsToPixels(layout::kToolbarGapTwips));
    QToolButton* indicator = button(layout::kIndicatorButton);
    follow<QToolButton>(m_form.Toolbar1.changed, indicator, [this](QToolButton* widget) {
        widget->setIcon(picture(m_form.Toolbar1.indicatorImage()));
    });
    row->addStretch(1);
}

void Form1::buildControls() {
    std::map<layout::Container, QWidget*> containers{{layout::Container::Client, m_client}};
    for (const ControlLayout& control : layout::kControls) {
        QWidget* parent = containers.at(control.container);
        const QFont font = designedFont(control.font);
        switch (control.kind) {
            case ControlKind::Frame: {
                auto* box = new CaptionFrame(QString::fromUtf8(control.caption), parent);
                box->setObjectName(QString::fromUtf8(control.name));
                box->setFont(font);
                box->setGeometry(twipsRect(control.rect));
                containers[control.holds] = box;
                break;
            }
            case ControlKind::Label:
                staticLabel(parent, control, font);
                break;
            case ControlKind::ValueLabel: {
                QLabel* label = staticLabel(parent, control, font);
                label->setAlignment(Qt::AlignCenter);
                follow<QLabel>(control.label(m_form).changed, label,
                               [&model = control.label(m_form)](QLabel* widget) {
                                   widget->setText(qs(model.caption()));
                               });
                break;
            }
            case ControlKind::TextBox:
            case ControlKind::DisplayBox:
                textBox(parent, control, font, control.textBox(m_form));
                break;
            case ControlKind::ComboBox:
                comboBox(parent, control, font, control.textBox(m_form));
                break;
            case ControlKind::CheckBox:
                checkBox(parent, control, font, control.checkBox(m_form));
                break;
            case ControlKind::ScrollBar:
                scrollBar(parent, control, control.scrollBar(m_form));
                break;
            case ControlKind::Button:
                pushButton(parent, control, font,
                           [this, action = control.action] { (m_actions.*action)(); });
                break;
        }
    }
}

void Form1::textBox(QWidget* parent, const ControlLayout& control, const QFont& font,
                    TextBox& model) {
    const bool displayBox = control.kind == ControlKind::DisplayBox;
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(control.name));
    edit->setFont(font);
    edit->setGeometry(fitted(control, font, kTextBoxFrame));
    if (displayBox) {
        // Shown, selected and copied, never typed into.
        edit->setReadOnly(true);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, toQColor(layout::kDisplayBack));
        edit->setPalette(palette);
    }
    follow<QLineEdit>(model.changed, edit, [&model, displayBox](QLineEdit* widget) {
        const QString text = qs(model.text());
        if (widget->text() != text) {
            widget->setText(text);
            if (displayBox) {
                // A text wider than the box shows its sign and leading digits.
                widget->setCursorPosition(0);
            }
        }
        if (displayBox) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Text, toQColor(model.foreColor()));
            widget->setPalette(palette);
        }
        widget->setToolTip(qs(model.toolTip()));
        widget->setVisible(model.isVisible());
    });
    QObject::connect(edit, &QLineEdit::textEdited, edit,
                     [&model](const QString& text) { model.setText(text.toStdString()); });
    m_connections.push_back(model.selectionRequested.connect([edit] {
        edit->setFocus();
        edit->selectAll();
    }));
}

// An entry box that also offers the servers its layout names; what is typed or chosen is the
// model's text.
void Form1::comboBox(QWidget* parent, const ControlLayout& control, const QFont& font,
                     TextBox& model) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromUtf8(control.name));
    combo->setFont(font);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* server : control.offers) {
        combo->addItem(QString::fromUtf8(server));
    }
    // The list opens wide enough for the whole names, wider than the box if need be.
    QAbstractItemView* list = combo->view();
    list->setTextElideMode(Qt::ElideNone);
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    combo->setGeometry(fitted(control, font, kButtonFrame));
    follow<QComboBox>(model.changed, combo, [&model](QComboBox* widget) {
        const QString text = qs(model.text());
        if (widget->currentText() != text) {
            widget->setEditText(text);
        }
        widget->setVisible(model.isVisible());
    });
    QObject::connect(combo, &QComboBox::editTextChanged, combo,
                     [&model](const QString& text) { model.setText(text.toStdString()); });
    m_connections.push_back(model.selectionRequested.connect([combo] {
        combo->setFocus();
        combo->lineEdit()->selectAll();
    }));
}

void Form1::checkBox(QWidget* parent, const ControlLayout& control, const QFont& font,
                     CheckBox& model) {
    auto* box = new QCheckBox(QString::fromUtf8(control.caption), parent);
    box->setObjectName(QString::fromUtf8(control.name));
    box->setFont(font);
    box->setGeometry(fitted(control, font, 0, box->style()));
    follow<QCheckBox>(model.changed, box, [&model](QCheckBox* widget) {
        widget->setChecked(model.isTicked());
        widget->setEnabled(model.isEnabled());
    });
    QObject::connect(box, &QCheckBox::clicked, box,
                     [&model] { model.setTicked(!model.isTicked()); });
}

void Form1::scrollBar(QWidget* parent, const ControlLayout& control, ScrollBar& model) {
    auto* bar = new FormScrollBar(model, parent);
    bar->setObjectName(QString::fromUtf8(control.name));
    bar->setRange(model.minimum(), model.maximum());
    bar->setSingleStep(model.smallStep());
    bar->setPageStep(model.largeStep());
    // Dragging the thumb reports the new value only when it is let go. The bar takes the
    // focus, and then the arrow keys, Page Up/Down, Home and End move it.
    bar->setTracking(false);
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setGeometry(twipsRect(control.rect));
    follow<QScrollBar>(model.changed, bar, [&model](QScrollBar* widget) {
        widget->setValue(model.value());
        widget->setEnabled(model.isEnabled());
    });
    QObject::connect(bar, &QScrollBar::valueChanged, bar,
                     [&model](int value) { model.setValue(value); });
}

// Tab and Shift+Tab go through the designed keyboard order, over the controls that can take
// the focus now; from the window itself the first Tab reaches the first of them.
bool Form1::focusNextPrevChild(bool next) {
    std::vector<QWidget*> order;
    for (const char* name : layout::kKeyboardOrder) {
        auto* widget = findChild<QWidget*>(QString::fromUtf8(name));
        if (widget->isVisibleTo(this) && widget->isEnabled() &&
            layout::inView(layout::controlNamed(name), m_slide->drawn().widthTwips)) {
            order.push_back(widget);
        }
    }
    if (order.empty()) {
        return false;
    }
    const auto at = std::find(order.begin(), order.end(), focusWidget());
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    std::ptrdiff_t index = next ? 0 : count - 1;
    if (at != order.end()) {
        index = ((at - order.begin()) + (next ? 1 : -1) + count) % count;
    }
    order[static_cast<std::size_t>(index)]->setFocus(next ? Qt::TabFocusReason
                                                          : Qt::BacktabFocusReason);
    return true;
}

void Form1::buildStatusBar() {
    m_statusBar = new QStatusBar(m_client);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    for (std::size_t panel = 0; panel < layout::kStatusPanels; ++panel) {
        const bool last = panel + 1 == layout::kStatusPanels;
        auto* text = new StatusPanel(last, m_statusBar);
        text->setObjectName(QStringLiteral("StatusBar1.Panel%1").arg(panel + 1));
        m_statusBar->addWidget(text, last ? 1 : 0);
        follow<StatusPanel>(m_form.StatusBar1.changed, text, [this, panel](StatusPanel* widget) {
            widget->setWholeText(qs(m_form.StatusBar1.panel(panel)));
        });
    }
}

void Form1::applyGeometry(const WindowSlide::Geometry& geometry, WindowSlide::Place place) {
    const int clientWidth = twipsToPixels(geometry.widthTwips - layout::kFrameTwips);
    const int clientHeight = twipsToPixels(layout::kClientHeightTwips);
    m_toolbar->setGeometry(0, 0, clientWidth, twipsToPixels(layout::kToolbarHeightTwips));
    m_statusBar->setGeometry(0, twipsToPixels(layout::kStatusBarTopTwips), clientWidth,
                             twipsToPixels(layout::kStatusBarHeightTwips));
    m_client->setFixedSize(clientWidth, clientHeight);
    const int menuHeight =
        std::max(menuBar()->sizeHint().height(), menuBar()->heightForWidth(clientWidth));
    setFixedSize(clientWidth, menuHeight + clientHeight);
    move(place.x, place.y);
    // The focus leaves a control that slid out of view for the window itself.
    const QWidget* focus = focusWidget();
    if (focus != nullptr && focus != m_client &&
        std::ranges::any_of(layout::kControls, [&](const ControlLayout& control) {
            return focus->objectName() == QString::fromUtf8(control.name) &&
                   !layout::inView(control, geometry.widthTwips);
        })) {
        m_client->setFocus();
    }
}

}  // namespace korvel
