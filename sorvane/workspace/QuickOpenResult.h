#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

// One row of Quick Open: a Markdown file the home index found.
struct QuickOpenResult
{
    QString id; // the path as the index reported it
    QUrl url;
    QDateTime modifiedDate; // invalid when the index knows none
};
