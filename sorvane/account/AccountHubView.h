#pragma once

#include <QWidget>

class QLabel;
class SignInStateService;

// The account header of the Account tab: "YOUR TOLVERN ACCOUNT" and, when there is
// one, the signed-in e-mail, over a faint rule. Follows the sign-in state.
class AccountHubView : public QWidget
{
    Q_OBJECT
public:
    explicit AccountHubView(SignInStateService &signInState, QWidget *parent = nullptr);

    QLabel *titleLabel() const { return m_title; }
    QLabel *emailLabel() const { return m_email; }

private:
    void refresh();

    SignInStateService &m_signInState;
    QLabel *m_title;
    QLabel *m_email;
};
