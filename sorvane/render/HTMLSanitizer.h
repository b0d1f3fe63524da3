#pragma once

#include <QString>

// Allow-list pass over rendered HTML: parses tags the way the browser's
// tokenizer does and writes back only known-harmless elements with
// known-harmless attributes, link targets limited to safe schemes. Text
// between tags is kept as it is; a "<" that starts no tag becomes "&lt;", so
// the output holds no markup but the tags written here.
class HTMLSanitizer
{
public:
    HTMLSanitizer() = delete;

    static QString clean(const QString &html);

    // True when a link or image address (attribute text, entities not yet
    // decoded) may stay; forImage also accepts data:image/ addresses.
    static bool isSafeURL(const QString &attributeValue, bool forImage);
};
