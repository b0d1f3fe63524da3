#pragma once

#include <QLabel>

// A one-line label that shortens its text in the middle to the width it is given;
// text() answers what is shown, fullText() the whole.
class TolvernElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TolvernElidedLabel(const QString &text, QWidget *parent = nullptr);

    QString fullText() const { return m_fullText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_fullText;
};
