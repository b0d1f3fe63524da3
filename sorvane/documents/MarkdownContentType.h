#pragma once

#include <QString>
#include <QStringList>

// The Markdown content type as the open and save panels use it.
class MarkdownContentType
{
public:
    static QString mimeType();                    // "text/markdown"
    static QStringList suffixes();                // md, markdown, mdown, mkd, mkdn, mdx
    static QString nameFilter();                  // "Markdown (*.md *.markdown ...)"
    static QString plainTextNameFilter();         // "Plain Text (*.txt)"
    // Save panels offer Markdown only; open panels also take plain text.
    static QStringList savePanelNameFilters();
    static QStringList openPanelNameFilters();
    // True when the file name ends in one of the Markdown suffixes (any case).
    static bool matchesFileName(const QString &fileName);
};
