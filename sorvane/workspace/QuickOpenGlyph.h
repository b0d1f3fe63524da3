#pragma once

#include <QColor>
#include <QPixmap>

// Quick Open's small line drawings (a page, a magnifier, both, a clear mark), painted in
// the colour the row or field asks for, so a highlighted row can draw them white.
class QuickOpenGlyph
{
public:
    enum Kind { Page, Magnifier, PageSearch, Clear };
    static QPixmap pixmap(Kind kind, int size, const QColor &color, qreal devicePixelRatio);
};
