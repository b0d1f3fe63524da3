#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

// One of the library's bundled symbols ("apple.logo", "envelope.fill", "wifi.slash"),
// drawn in a single colour at a square size in logical pixels.
class TolvernSymbol : public QWidget
{
    Q_OBJECT
public:
    TolvernSymbol(const QString &name, int size, const QColor &color, QWidget *parent = nullptr);

    // The symbol tinted with color, for the given device pixel ratio; null when the
    // library holds no symbol of that name.
    static QPixmap pixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_name;
    int m_size;
    QColor m_color;
};
