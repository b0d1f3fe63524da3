#include "MarkdownPreview.h"

#include <QTextBrowser>
#include <QVBoxLayout>

MarkdownPreview::MarkdownPreview(QWidget *parent)
    : QWidget(parent)
    , m_browser(new QTextBrowser(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setFrameShape(QFrame::NoFrame);
    m_browser->setOpenLinks(false);
}

void MarkdownPreview::setBodyHTML(const QString &html) { m_browser->setHtml(html); }

void MarkdownPreview::setFontSize(double points)
{
    QFont font = m_browser->font();
    font.setPixelSize(qMax(1, qRound(points)));
    m_browser->setFont(font);
}

void MarkdownPreview::setColorScheme(const QString &) {}
void MarkdownPreview::setTheme(PreviewTheme) {}
void MarkdownPreview::setExtraCSS(const QString &) {}
void MarkdownPreview::setBaseURL(const QUrl &folder) { m_browser->document()->setBaseUrl(folder); }
void MarkdownPreview::registerSchemes() {}
