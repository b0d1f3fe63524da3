#pragma once

#include "TolvernProviderButtonStyle.h"
#include "TolvernProviderHint.h"

#include <QWidget>

#include <functional>

class TolvernPlainButton;
class TolvernProviderButton;
class QVBoxLayout;

// The stack of sign-in buttons: Apple, Google, e-mail, and "Cancel sign-in" while a
// sign-in is pending and the host can cancel it. The host owns the sign-in: it sets
// busy when one starts and clears it when it ends, and starts the provider it is told.
class TolvernProviderButtons : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ isBusy WRITE setBusy NOTIFY busyChanged)
public:
    using TapHandler = std::function<void(TolvernProviderHint)>;
    using CancelHandler = std::function<void()>;

    TolvernProviderButtons(const TolvernProviderButtonStyle &style, bool busy, CancelHandler onCancelPending,
                           TapHandler onTap, QWidget *parent = nullptr);

    TolvernProviderButtonStyle buttonStyle() const { return m_style; }
    void setButtonStyle(const TolvernProviderButtonStyle &style);

    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);

    // An empty handler means none: no cancel button is offered.
    void setOnCancelPending(CancelHandler handler);
    void setOnTap(TapHandler handler);

    TolvernProviderButton *button(TolvernProviderHint hint) const;
    TolvernPlainButton *cancelButton() const { return m_cancel; }

Q_SIGNALS:
    void busyChanged(bool busy);

private:
    void buildCancelButton();
    void refresh();

    TolvernProviderButtonStyle m_style;
    bool m_busy;
    CancelHandler m_onCancelPending;
    TapHandler m_onTap;
    QVBoxLayout *m_layout = nullptr;
    QList<TolvernProviderButton *> m_buttons;
    QWidget *m_cancelRow = nullptr;
    TolvernPlainButton *m_cancel = nullptr;
};
