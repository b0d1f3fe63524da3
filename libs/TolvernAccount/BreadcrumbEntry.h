#pragma once

#include <QString>

// One step that led up to an error signal, made by callers of observe(). The
// client scrubs "category" and "msg" before it keeps one.
struct BreadcrumbEntry {
    QString ts;
    QString level;
    QString category;
    QString msg;
};
