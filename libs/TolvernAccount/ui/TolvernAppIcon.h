#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

// An application's icon from the library's resources, found by the application's
// slug, or a lettered tile when the library holds no image for it. It has no size of
// its own: the caller gives it its geometry.
class TolvernAppIcon : public QWidget
{
    Q_OBJECT
public:
    TolvernAppIcon(const QString &slug, const std::optional<QString> &fallbackLetter = std::nullopt,
                   const std::optional<QColor> &fallbackTint = std::nullopt, double cornerRadius = 0,
                   QWidget *parent = nullptr);

    QString slug() const { return m_slug; }
    QString fallbackLetter() const { return m_fallbackLetter; }
    QColor fallbackTint() const { return m_fallbackTint; }
    double cornerRadius() const { return m_cornerRadius; }

    // The resource path of the image for slug, matched exactly; empty when none.
    static QString imagePath(const QString &slug);

    static QColor defaultTint();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintImage(QPainter &painter, const QString &path);
    void paintTile(QPainter &painter);

    QString m_slug;
    QString m_fallbackLetter;
    QColor m_fallbackTint;
    double m_cornerRadius;
};
