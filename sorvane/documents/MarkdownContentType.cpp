#include "MarkdownContentType.h"

#include <QFileInfo>

QString MarkdownContentType::mimeType()
{
    return QStringLiteral("text/markdown");
}

QStringList MarkdownContentType::suffixes()
{
    return {QStringLiteral("md"),  QStringLiteral("markdown"), QStringLiteral("mdown"),
            QStringLiteral("mkd"), QStringLiteral("mkdn"),     QStringLiteral("mdx")};
}

QString MarkdownContentType::nameFilter()
{
    QStringList patterns;
    for (const QString &suffix : suffixes())
        patterns.append(QStringLiteral("*.") + suffix);
    return QStringLiteral("Markdown (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QString MarkdownContentType::plainTextNameFilter()
{
    return QStringLiteral("Plain Text (*.txt)");
}

QStringList MarkdownContentType::savePanelNameFilters()
{
    return {nameFilter()};
}

QStringList MarkdownContentType::openPanelNameFilters()
{
    return {nameFilter(), plainTextNameFilter()};
}

bool MarkdownContentType::matchesFileName(const QString &fileName)
{
    return suffixes().contains(QFileInfo(fileName).suffix().toLower());
}
