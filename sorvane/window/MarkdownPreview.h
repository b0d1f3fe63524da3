#pragma once

#include "MarkdownToHTML.h"

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

// Minimal stand-in for the live preview: shows the body HTML in a text browser.
// Only the calls of the real preview exist here, so the pane compiles against both.
class MarkdownPreview : public QWidget
{
    Q_OBJECT
public:
    explicit MarkdownPreview(QWidget *parent = nullptr);

    void setBodyHTML(const QString &html);
    void setFontSize(double points);
    void setColorScheme(const QString &scheme);
    void setTheme(PreviewTheme theme);
    void setExtraCSS(const QString &css);
    void setBaseURL(const QUrl &folder);

    static void registerSchemes();

private:
    QTextBrowser *m_browser;
};
