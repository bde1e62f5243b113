#include "ui/win32/win32_burst_details.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_text.h"
#include "ui/win32/win32_drawing.h"
#include "ui/win32/win32_pictures.h"

namespace korvel {

namespace {

constexpr const wchar_t* kClassName = L"KorvelBurstDetails";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;

// The window's state while it is open.
struct DetailsWindow {
    const BurstDetails& model;
    HWND* open;
    FontCache fonts;
    Connection changed;
};

// A GDI object selected into the context for a scope, then deleted.
class Selected {
public:
    Selected(HDC context, HGDIOBJ object)
        : m_context(context), m_object(object), m_previous(SelectObject(context, object)) {}
    ~Selected() {
        SelectObject(m_context, m_previous);
        DeleteObject(m_object);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_context;
    HGDIOBJ m_object;
    HGDIOBJ m_previous;
};

RECT winRect(const details::Box& box) {
    return {box.left, box.top, box.right, box.bottom};
}

void drawText(HDC context, RECT place, const std::string& text, UINT format) {
    std::wstring wide = wideOf(text);
    DrawTextW(context, wide.data(), static_cast<int>(wide.size()), &place,
              format | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
}

void line(HDC context, POINT from, POINT to) {
    MoveToEx(context, from.x, from.y, nullptr);
    LineTo(context, to.x, to.y);
}

HPEN dashedPen(Rgb color) {
    return CreatePen(PS_DOT, 1, colorRef(color));
}

// Maps axis values into a plot's box.
struct Plot {
    details::Box box;
    Axis x;
    Axis y;

    POINT at(double xValue, double yValue) const {
        return {
            box.left + static_cast<LONG>(std::lround(x.fraction(xValue) * (box.right - box.left))),
            box.bottom -
                static_cast<LONG>(std::lround(y.fraction(yValue) * (box.bottom - box.top)))};
    }

    // The frame, a grid line and a label at each tick, and the axes' names.
    void drawAxes(HDC context, int lineHeight, const std::string& xName,
                  const std::string& yName) const {
        {
            const Selected grid(context, CreatePen(PS_SOLID, 1, colorRef(details::kGridColor)));
            for (const double tick : x.ticks()) {
                line(context, at(tick, y.low), at(tick, y.high));
            }
            for (const double tick : y.ticks()) {
                line(context, at(x.low, tick), at(x.high, tick));
            }
        }
        const Selected frame(context, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
        const HGDIOBJ hollow = SelectObject(context, GetStockObject(NULL_BRUSH));
        Rectangle(context, box.left, box.top, box.right + 1, box.bottom + 1);
        SelectObject(context, hollow);
        for (const double tick : x.ticks()) {
            const POINT point = at(tick, y.low);
            drawText(context,
                     {point.x - 100, box.bottom + 2, point.x + 100, box.bottom + 2 + lineHeight},
                     x.label(tick), DT_CENTER | DT_TOP);
        }
        for (const double tick : y.ticks()) {
            const POINT point = at(x.low, tick);
            drawText(context, {0, point.y - lineHeight / 2, box.left - 4, point.y + lineHeight / 2},
                     y.label(tick), DT_RIGHT | DT_VCENTER);
        }
        drawText(
            context,
            {box.left, box.bottom + lineHeight + 4, box.right, box.bottom + 2 * lineHeight + 4},
            xName, DT_CENTER | DT_TOP);
        drawText(context,
                 {box.left, box.top - lineHeight * 3 / 2, box.right, box.top - lineHeight / 2},
                 yName, DT_LEFT | DT_TOP);
    }
};

void drawMark(HDC context, const MarkStyle& mark, POINT centre, int r) {
    const COLORREF color = colorRef(mark.color);
    const Selected pen(context, CreatePen(PS_SOLID, mark.shape == MarkShape::Cross ? 2 : 1, color));
    const Selected brush(context, mark.shape == MarkShape::Ring
                                      ? GetStockObject(NULL_BRUSH)
                                      : static_cast<HGDIOBJ>(CreateSolidBrush(color)));
    const LONG x = centre.x;
    const LONG y = centre.y;
    switch (mark.shape) {
        case MarkShape::Disc:
        case MarkShape::Ring:
            Ellipse(context, x - r, y - r, x + r + 1, y + r + 1);
            break;
        case MarkShape::Square:
            Rectangle(context, x - r, y - r, x + r + 1, y + r + 1);
            break;
        case MarkShape::Triangle: {
            const POINT corners[] = {{x, y - r}, {x + r, y + r}, {x - r, y + r}};
            Polygon(context, corners, 3);
            break;
        }
        case MarkShape::Diamond: {
            const POINT corners[] = {{x, y - r}, {x + r, y}, {x, y + r}, {x - r, y}};
            Polygon(context, corners, 4);
            break;
        }
        case MarkShape::Cross:
            line(context, {x - r, y - r}, {x + r + 1, y + r + 1});
            line(context, {x - r, y + r}, {x + r + 1, y - r - 1});
            break;
    }
}

const MarkStyle& markOf(ReplyUse use) {
    return *std::ranges::find(kReplyMarks, use, &MarkStyle::use);
}

void paint(DetailsWindow& state, HDC context, const RECT& client, UINT dpi) {
    const BurstDetails& model = state.model;
    FillRect(context, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(context, TRANSPARENT);
    const HFONT font = state.fonts.font(layout::kWindowFont, dpi);
    const HGDIOBJ previousFont = SelectObject(context, font);
    const int lineHeight = textExtent(font, "时").cy;
    const int r = MulDiv(details::kMarkRadius, static_cast<int>(dpi), 96);

    const Axis delays = model.delayAxis();
    const Axis burstOffsets = model.burstOffsetAxis();
    const Axis times = model.timeAxis();
    const Axis runOffsets = model.runOffsetAxis();
    int labelWidth = 0;
    for (const Axis* axis : {&burstOffsets, &runOffsets}) {
        for (const double tick : axis->ticks()) {
            labelWidth = std::max<int>(labelWidth, textExtent(font, axis->label(tick)).cx);
        }
    }
    std::vector<std::string> legend;
    for (const MarkStyle& mark : kReplyMarks) {
        legend.push_back(model.legendText(mark));
    }
    legend.push_back(model.meanText());
    legend.insert(legend.end(), model.serverNotes().begin(), model.serverNotes().end());
    const int markSpace = 3 * r + 4;
    int legendWidth = 0;
    for (const std::string& entry : legend) {
        legendWidth = std::max<int>(legendWidth, markSpace + textExtent(font, entry).cx);
    }
    const details::Geometry g =
        details::geometry(client.right, client.bottom, lineHeight, labelWidth, legendWidth);

    // The last burst.
    drawText(context, winRect(g.burstCaption), details::kBurstCaption, DT_LEFT | DT_VCENTER);
    const Plot burst{g.burstPlot, delays, burstOffsets};
    burst.drawAxes(context, lineHeight, details::kDelayAxis, details::kOffsetAxis);
    if (const std::string notice = model.burstNotice(); !notice.empty()) {
        drawText(context, winRect(g.burstPlot), notice, DT_CENTER | DT_VCENTER);
    }
    if (const std::optional<double> mean = model.meanSec()) {
        const Selected pen(context, dashedPen(details::kMeanColor));
        line(context, burst.at(delays.low, *mean), burst.at(delays.high, *mean));
    }
    for (const BurstPoint& point : model.burstPoints()) {
        drawMark(context, markOf(point.use), burst.at(point.delayMs, point.offsetSec), r);
    }
    for (std::size_t i = 0; i < legend.size(); ++i) {
        const int top = g.legend.top + static_cast<int>(i) * (lineHeight + 4);
        const POINT centre{g.legend.left + r + 1, top + lineHeight / 2};
        if (i < std::size(kReplyMarks)) {
            drawMark(context, kReplyMarks[i], centre, r);
        } else if (i == std::size(kReplyMarks) && !legend[i].empty()) {
            const Selected pen(context, dashedPen(details::kMeanColor));
            line(context, {centre.x - r, centre.y}, {centre.x + 2 * r, centre.y});
        }
        drawText(context, {g.legend.left + markSpace, top, g.legend.right, top + lineHeight},
                 legend[i], DT_LEFT | DT_VCENTER);
    }

    // This run.
    drawText(context, winRect(g.runCaption), details::kRunCaption, DT_LEFT | DT_VCENTER);
    drawText(context, winRect(g.runCaption), model.driftText(), DT_RIGHT | DT_VCENTER);
    const Plot run{g.runPlot, times, runOffsets};
    run.drawAxes(context, lineHeight, model.timeAxisCaption(), details::kOffsetAxis);
    const double unit = model.timeUnitSec();
    const std::deque<RunPoint>& points = model.runPoints();
    if (points.empty()) {
        drawText(context, winRect(g.runPlot), details::kNoBurst, DT_CENTER | DT_VCENTER);
    }
    const MarkStyle runMark{ReplyUse::Used, "", MarkShape::Disc, details::kRunColor};
    for (std::size_t i = 0; i < points.size(); ++i) {
        const POINT here = run.at(points[i].elapsedSec / unit, points[i].offsetSec);
        if (i > 0 && points[i - 1].segment == points[i].segment) {
            const Selected pen(context, CreatePen(PS_SOLID, 1, colorRef(details::kRunColor)));
            line(context, run.at(points[i - 1].elapsedSec / unit, points[i - 1].offsetSec), here);
        } else if (i > 0) {
            // The program stepped the clock here.
            const Selected pen(context, dashedPen({128, 128, 128}));
            line(context, {here.x, g.runPlot.top}, {here.x, g.runPlot.bottom});
        }
        drawMark(context, runMark, here, std::max(1, r - 1));
    }
    SelectObject(context, previousFont);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // From here the window owns its state.
        auto* state = static_cast<std::unique_ptr<DetailsWindow>*>(
            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state->release()));
    }
    auto* state = reinterpret_cast<DetailsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT painting;
            HDC screen = BeginPaint(window, &painting);
            RECT client{};
            GetClientRect(window, &client);
            // Drawn off screen first, so a redraw does not flicker.
            HDC context = CreateCompatibleDC(screen);
            HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
            const HGDIOBJ previous = SelectObject(context, canvas);
            paint(*state, context, client, dpiOf(window));
            BitBlt(screen, 0, 0, client.right, client.bottom, context, 0, 0, SRCCOPY);
            SelectObject(context, previous);
            DeleteObject(canvas);
            DeleteDC(context);
            EndPaint(window, &painting);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_NCDESTROY:
            if (state != nullptr) {
                *state->open = nullptr;
                delete state;
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void openBurstDetailsWindow(BurstDetails& model, HWND owner, HWND* open) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, kClassName, &windowClass) == FALSE) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = instance;
        windowClass.hIcon = applicationIcon();
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
    }
    const UINT dpi = owner != nullptr ? dpiOf(owner) : screenDpi();
    const RECT outer = outerRect(
        pixelRect({0, 0, details::kWidthTwips, details::kHeightTwips}, dpi), kStyle, false, dpi);
    auto state = std::unique_ptr<DetailsWindow>(new DetailsWindow{model, open, {}, {}});
    HWND window = CreateWindowExW(0, kClassName, wideOf(details::kTitle).c_str(), kStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                                  outer.bottom - outer.top, owner, nullptr, instance, &state);
    if (window == nullptr) {
        return;
    }
    *open = window;
    reinterpret_cast<DetailsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA))->changed =
        model.changed.connect([window] { InvalidateRect(window, nullptr, FALSE); });
    ShowWindow(window, SW_SHOWNORMAL);
}

}  // namespace korvel
