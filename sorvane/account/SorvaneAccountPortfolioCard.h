#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QPushButton;
class SignInStateService;

// The account card at the top of the Account tab, shown only while signed in: an
// accent-coloured rounded panel with "Signed in as" and the e-mail (when there is
// one) and a link to the account web page.
class SorvaneAccountPortfolioCard : public QWidget
{
    Q_OBJECT
public:
    // `accountPage` may be invalid: the link then opens nothing.
    SorvaneAccountPortfolioCard(SignInStateService &signInState, const QUrl &accountPage, QWidget *parent = nullptr);

    QLabel *signedInLabel() const { return m_signedIn; }
    QPushButton *manageButton() const { return m_manage; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    SignInStateService &m_signInState;
    QUrl m_accountPage;
    QLabel *m_signedIn;
    QPushButton *m_manage;
};
