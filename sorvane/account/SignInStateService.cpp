#include "SignInStateService.h"

#include "QueuedHop.h"
#include "TolvernAccountBridge.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticLogBuffer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include <typeinfo>

namespace {
const QString category = QStringLiteral("auth");
const QString stepSuffix = QStringLiteral(" step=onboarding_s6");
const QString transportKey = QStringLiteral("auth_transport");
// The value the events have always carried, whatever scheme the sign-in uses.
const QString transport = QStringLiteral("aswas");

QPointer<SignInStateService> &sharedInstance()
{
    static QPointer<SignInStateService> service;
    return service;
}

QString quoted(const std::optional<QString> &value)
{
    return value ? QLatin1Char('"') + *value + QLatin1Char('"') : QStringLiteral("nil");
}

void trackFailed(const QString &reason)
{
    Analytics::track(QStringLiteral("auth_failed"), {{QStringLiteral("reason"), reason}, {transportKey, transport}});
}

SignInResult failedWith(const QString &description)
{
    return SignInResult::failed(description.isEmpty() ? QString::fromLatin1(SignInStateService::fallbackFailedMessage)
                                                      : description);
}
} // namespace

QString SignInStateService::rendering(const TolvernError &error)
{
    using Case = TolvernError::Case;
    switch (error.kind()) {
    case Case::serverError:
        return QStringLiteral("serverError(status: %1, code: %2)").arg(error.status()).arg(quoted(error.code()));
    case Case::malformedResponse:
        return QStringLiteral("malformedResponse(field: %1)").arg(quoted(error.field()));
    case Case::authorizationFailed:
        return QStringLiteral("authorizationFailed(reason: %1)").arg(quoted(error.reason()));
    case Case::keychainFailure:
        return QStringLiteral("keychainFailure(status: %1)").arg(error.keychainStatus());
    case Case::clientKilled:
        return QStringLiteral("clientKilled(replacement: %1)")
            .arg(quoted(error.replacement() ? std::optional<QString>(error.replacement()->toString()) : std::nullopt));
    case Case::requiresUpgrade:
        return QStringLiteral("requiresUpgrade(minVersion: %1)").arg(quoted(error.minVersion()));
    case Case::dpopUnavailable:
        return QStringLiteral("dpopUnavailable(reason: %1)").arg(quoted(error.reason()));
    case Case::notSignedIn: return QStringLiteral("notSignedIn");
    case Case::sessionExpired: return QStringLiteral("sessionExpired");
    case Case::networkUnavailable: return QStringLiteral("networkUnavailable");
    case Case::authorizationCancelled: return QStringLiteral("authorizationCancelled");
    }
    return QString();
}

std::unique_ptr<SignInStateService> SignInStateService::make(TolvernAccountBridge &bridge)
{
    std::unique_ptr<SignInStateService> service(new SignInStateService(bridge));
    const QPointer<SignInStateService> weak(service.get());
    service->m_managerStateSubscription =
        bridge.manager().onStateChange([weak](const TolvernAccountManager::State &state) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [weak, state] {
                    if (weak)
                        weak->applyManagerState(state);
                },
                Qt::QueuedConnection);
        });
    // Up to date before any view reads it, without waiting for the queued mapping.
    service->applyManagerState(bridge.manager().state());
    return service;
}

SignInStateService::SignInStateService(TolvernAccountBridge &bridge)
    : m_bridge(&bridge)
{
}

SignInStateService::~SignInStateService()
{
    if (sharedInstance() == this)
        sharedInstance() = nullptr;
}

SignInStateService *SignInStateService::shared()
{
    return sharedInstance();
}

void SignInStateService::setShared(SignInStateService *service)
{
    sharedInstance() = service;
}

void SignInStateService::setAuthenticating(bool value)
{
    if (m_isAuthenticating == value)
        return;
    m_isAuthenticating = value;
    Q_EMIT isAuthenticatingChanged();
}

void SignInStateService::applyManagerState(const TolvernAccountManager::State &state)
{
    using Kind = TolvernAccountManager::State::Kind;
    switch (state.kind()) {
    case Kind::signingIn:
        setAuthenticating(true);
        return;
    case Kind::failed:
        // A signed-in account stays shown as signed in.
        setAuthenticating(false);
        return;
    case Kind::signedIn: {
        setAuthenticating(false);
        const QString accountID = state.account() ? state.account()->tolvernAccountId.raw : QString();
        const QString email = state.account() ? state.account()->emailPrimary : QString();
        if (m_tolvernAccountID != accountID) {
            m_tolvernAccountID = accountID;
            Q_EMIT tolvernAccountIDChanged();
        }
        if (m_accountEmail != email) {
            m_accountEmail = email;
            Q_EMIT accountEmailChanged();
        }
        if (!m_isAuthenticated) {
            m_isAuthenticated = true;
            Q_EMIT isAuthenticatedChanged();
        }
        return;
    }
    case Kind::signedOut:
        if (!m_tolvernAccountID.isEmpty()) {
            m_tolvernAccountID.clear();
            Q_EMIT tolvernAccountIDChanged();
        }
        if (!m_accountEmail.isEmpty()) {
            m_accountEmail.clear();
            Q_EMIT accountEmailChanged();
        }
        if (m_isAuthenticated) {
            m_isAuthenticated = false;
            Q_EMIT isAuthenticatedChanged();
        }
        setAuthenticating(false);
        return;
    }
}

QString SignInStateService::accountDisplayName() const
{
    if (!m_accountEmail.isEmpty())
        return m_accountEmail;
    if (m_tolvernAccountID.isEmpty())
        return QStringLiteral("Not signed in");
    if (m_tolvernAccountID.size() >= 14)
        return m_tolvernAccountID.left(9) + QStringLiteral("...") + m_tolvernAccountID.right(4);
    return m_tolvernAccountID;
}

QWidget *SignInStateService::primaryWindow()
{
    if (QWidget *active = QApplication::activeWindow())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible() && window->isWindow() && window->windowType() != Qt::ToolTip
            && window->windowType() != Qt::Popup)
            return window;
    }
    return nullptr;
}

QCoro::Task<SignInResult> SignInStateService::beginSignIn(OAuthDriver::ProviderHint provider)
{
    const QPointer<SignInStateService> self(this);
    const QPointer<TolvernAccountBridge> bridge = m_bridge;
    if (!bridge)
        co_return SignInResult::failed(QString::fromLatin1(openFailedMessage));
    QWidget *window = primaryWindow();
    if (!window)
        co_return SignInResult::failed(QString::fromLatin1(openFailedMessage));

    setAuthenticating(true);
    Analytics::track(QStringLiteral("auth_started"), {{QStringLiteral("purpose"), QStringLiteral("sign_in")},
                                                      {transportKey, transport}});
    DiagnosticLogBuffer &log = DiagnosticLogBuffer::shared();
    try {
        auto signIn = bridge->manager().signIn(window, provider);
        co_await std::move(signIn);
        // Behind the mapping queued for the signed-in state, so the id is the new one.
        co_await QueuedHop();
        if (self)
            Analytics::identify(self->m_tolvernAccountID);
        Analytics::track(QStringLiteral("auth_completed"), {{transportKey, transport}});
        if (self)
            self->setAuthenticating(false);
        co_return SignInResult::success();
    } catch (const TolvernError &error) {
        if (self)
            self->setAuthenticating(false);
        if (error.kind() == TolvernError::Case::authorizationCancelled) {
            log.add(DiagnosticLogBuffer::Level::Info, category, QStringLiteral("Sign-in cancelled by user") + stepSuffix);
            trackFailed(QStringLiteral("cancelled"));
            co_return SignInResult::cancelled();
        }
        const QString reason = rendering(error);
        log.add(DiagnosticLogBuffer::Level::Error, category, QStringLiteral("Sign-in failed: ") + reason + stepSuffix,
                LoggedError{QStringLiteral("TolvernError"), error.errorDescription()});
        trackFailed(reason);
        co_return failedWith(error.errorDescription());
    } catch (const std::exception &error) {
        if (self)
            self->setAuthenticating(false);
        const QString description = QString::fromUtf8(error.what());
        log.add(DiagnosticLogBuffer::Level::Error, category,
                QStringLiteral("Sign-in failed (unexpected)") + stepSuffix,
                LoggedError{QString::fromLatin1(typeid(error).name()), description});
        trackFailed(description);
        co_return failedWith(description);
    }
}
