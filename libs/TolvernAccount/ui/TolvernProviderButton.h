#pragma once

#include "TolvernProviderButtonStyle.h"
#include "TolvernProviderHint.h"

#include "TolvernFocusButton.h"

// One provider button of TolvernProviderButtons: icon and text on a rounded
// 12-point shape in the provider's colours. The Apple button fades while disabled;
// the others keep their look.
class TolvernProviderButton : public TolvernFocusButton
{
    Q_OBJECT
public:
    TolvernProviderButton(TolvernProviderHint hint, const TolvernProviderButtonStyle &style,
                          QWidget *parent = nullptr);

    TolvernProviderHint hint() const { return m_hint; }
    void setButtonStyle(const TolvernProviderButtonStyle &style);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont labelFont() const;
    int iconSize() const;

    TolvernProviderHint m_hint;
    TolvernProviderButtonStyle m_style;
};
