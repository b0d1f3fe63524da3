#include "TolvernElidedLabel.h"

#include <QEvent>

TolvernElidedLabel::TolvernElidedLabel(const QString &text, QWidget *parent) : QLabel(text, parent), m_fullText(text)
{
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setToolTip(text);
}

QSize TolvernElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(m_fullText), metrics.height());
}

QSize TolvernElidedLabel::minimumSizeHint() const
{
    return QSize(0, QFontMetrics(font()).height());
}

void TolvernElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void TolvernElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void TolvernElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, contentsRect().width());
    if (shown != text())
        setText(shown);
}
