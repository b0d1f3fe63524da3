#pragma once

#include "TolvernProviderButtonStyle.h"
#include "TolvernProviderHint.h"
#include "TolvernSignInPhase.h"

#include <QPixmap>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QVBoxLayout;
class TolvernProviderButtons;

// The library's ready-made sign-in screen: the application's icon, name and value
// line, then, by phase, the provider buttons with an error or progress line, the
// offline card, or the block of an account already signed in, and the privacy and
// terms links. It keeps no state: the host runs the sign-in, sets the phase and the
// signed-in e-mail, and hears the user's choices through the handlers.
class TolvernSignInScreen : public QWidget
{
    Q_OBJECT
public:
    using Phase = TolvernSignInPhase;
    using TapHandler = std::function<void(TolvernProviderHint)>;
    // An empty action is no action: its button is shown and does nothing, except
    // onCancel, whose absence hides "Cancel sign-in".
    using Action = std::function<void()>;

    TolvernSignInScreen(const QPixmap &appIcon, const QString &appName, const QString &valueProp,
                        const TolvernProviderButtonStyle &style, const Phase &phase, const QUrl &privacyURL,
                        const QUrl &termsURL, const std::optional<QString> &signedInEmail, TapHandler onTap,
                        Action onCancel, Action onRetry, Action onUseDifferentAccount, QWidget *parent = nullptr);

    // The size a host may give the window holding the screen.
    static QSize naturalWindowSize() { return QSize(520, 640); }

    Phase phase() const { return m_phase; }
    void setPhase(const Phase &phase);
    std::optional<QString> signedInEmail() const { return m_signedInEmail; }
    void setSignedInEmail(const std::optional<QString> &email);
    TolvernProviderButtonStyle buttonStyle() const { return m_style; }
    void setButtonStyle(const TolvernProviderButtonStyle &style);

    void setOnTap(TapHandler handler) { m_onTap = std::move(handler); }
    void setOnCancel(Action handler);
    void setOnRetry(Action handler) { m_onRetry = std::move(handler); }
    void setOnUseDifferentAccount(Action handler) { m_onUseDifferentAccount = std::move(handler); }

private:
    void rebuild();
    QWidget *buildHeader();
    QWidget *buildFooter();
    QWidget *buildPhaseContent();
    QWidget *buildProviderContent();
    QWidget *buildAccountBlock(const QString &email);
    QWidget *buildOfflineCard();
    QWidget *buildErrorRow(const QString &message);
    QWidget *buildProgressRow();
    QLabel *makeLabel(const QString &text, int pixelSize, QFont::Weight weight, const QColor &color);

    QPixmap m_appIcon;
    QString m_appName;
    QString m_valueProp;
    TolvernProviderButtonStyle m_style;
    Phase m_phase;
    QUrl m_privacyURL;
    QUrl m_termsURL;
    TapHandler m_onTap;
    Action m_onCancel;
    Action m_onRetry;
    std::optional<QString> m_signedInEmail;
    Action m_onUseDifferentAccount;

    QVBoxLayout *m_contentLayout = nullptr;
    QWidget *m_content = nullptr;
};
