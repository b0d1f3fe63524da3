#pragma once

#include <QRectF>

class QPainter;

// The four-colour "G" mark of the Google button, drawn from shapes in a 24 by 24
// design space scaled to a square.
class GoogleGGlyph
{
public:
    static void paint(QPainter &painter, const QRectF &square);
};
