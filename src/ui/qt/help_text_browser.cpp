#include "ui/qt/help_text_browser.h"

#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace korvel {

namespace {

const QString kNotFoundTitle = QStringLiteral("无法显示网页");

QString notFoundPage(const QUrl& url) {
    const QString address =
        url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
    return QStringLiteral(
               "<html><head><title>%1</title></head><body><h2>%1</h2>"
               "<p>找不到 %2。</p></body></html>")
        .arg(kNotFoundTitle, address.toHtmlEscaped());
}

}  // namespace

HelpTextBrowser::HelpTextBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenExternalLinks(true);
}

QVariant HelpTextBrowser::loadResource(int type, const QUrl& name) {
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (!resource.isValid() && type == QTextDocument::HtmlResource) {
        return notFoundPage(name);
    }
    return resource;
}

void HelpTextBrowser::backward() {
    dropLinkFocus();
    QTextBrowser::backward();
}

void HelpTextBrowser::forward() {
    dropLinkFocus();
    QTextBrowser::forward();
}

// A followed link stays marked, and a history entry that holds the mark scrolls back to the
// link instead of to where the reader was; so the mark goes, the view staying as it is.
void HelpTextBrowser::dropLinkFocus() {
    const int left = horizontalScrollBar()->value();
    const int top = verticalScrollBar()->value();
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    horizontalScrollBar()->setValue(left);
    verticalScrollBar()->setValue(top);
}

QtHelpBrowser::QtHelpBrowser(HelpTextBrowser& view) : m_view(view) {
    // Queued, so that the report comes after navigate() has returned, as an engine's does.
    QObject::connect(
        &m_view, &QTextBrowser::sourceChanged, &m_view,
        [this] {
            if (m_downloadComplete) {
                m_downloadComplete();
            }
        },
        Qt::QueuedConnection);
}

QUrl QtHelpBrowser::urlOf(const std::string& address) {
    const QString text = QString::fromStdString(address).trimmed();
    const QUrl url(text, QUrl::StrictMode);
    // A drive letter parses as a one-letter scheme; a real scheme is longer.
    if (url.isValid() && url.scheme().size() > 1) {
        return url;
    }
    return QUrl::fromLocalFile(QDir::fromNativeSeparators(text));
}

void QtHelpBrowser::navigate(const std::string& address) {
    m_view.setSource(urlOf(address));
}

void QtHelpBrowser::goBack() {
    m_view.backward();
}

void QtHelpBrowser::goForward() {
    m_view.forward();
}

void QtHelpBrowser::refresh() {
    m_view.reload();
}

// Pages load completely inside navigate(), so there is never a load to stop.
void QtHelpBrowser::stop() {}

bool QtHelpBrowser::busy() {
    return false;
}

std::string QtHelpBrowser::locationName() {
    const QString title = m_view.documentTitle();
    return (title.isEmpty() ? m_view.source().fileName() : title).toStdString();
}

void QtHelpBrowser::setDownloadCompleteHandler(std::function<void()> handler) {
    m_downloadComplete = std::move(handler);
}

}  // namespace korvel
