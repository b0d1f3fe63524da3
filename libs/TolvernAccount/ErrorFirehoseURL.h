#pragma once

#include <QString>
#include <QUrl>

namespace ErrorFirehoseURL {
// `base` with `path` appended as path components: a base path stays ("/v1" gives
// "/v1/api/geo"), a trailing slash is not doubled.
QUrl appendingPath(const QUrl &base, const QString &path);
} // namespace ErrorFirehoseURL
