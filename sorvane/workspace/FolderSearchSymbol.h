#pragma once

#include <QColor>
#include <QRectF>
#include <QWidget>

class QPainter;

// The line symbols of the folder search panel, drawn in one colour so they follow the
// palette without an icon theme.
class FolderSearchSymbol : public QWidget
{
    Q_OBJECT
public:
    enum class Shape {
        magnifier,      // the query field
        document,       // a file row
        documentSearch, // nothing typed yet
        noMatches,      // a crossed circle
    };

    FolderSearchSymbol(Shape shape, qreal size, QWidget *parent = nullptr);

    Shape shape() const { return m_shape; }
    void setShape(Shape shape);
    // Colour as a fraction of the text colour's opacity (secondary 0.55 and so on).
    void setStrength(qreal strength);

    static void paint(QPainter &painter, Shape shape, const QRectF &box, const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Shape m_shape;
    qreal m_strength = 0.55;
};
