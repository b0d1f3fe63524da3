#include "ShellAccountIntegration.h"

#include "account/AccountSessionManager.h"
#include "account/AccountSessionStorage.h"
#include "account/SignInStateService.h"
#include "account/TolvernAccountBridge.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticUploader.h"
#include "export/ServerExportCommands.h"
#include "export/ServerPandocExporter.h"

#include "KeychainStorage.h"
#include "TolvernInstallMetrics.h"

namespace {
const QString appSlug = QStringLiteral("sorvane");

// The token of the adopted session: the same answer the bridge gives, without
// renewing it, for questions like "can a report be sent".
std::optional<QString> currentToken()
{
    TolvernAccountBridge *bridge = TolvernAccountBridge::sharedBridge();
    if (!bridge)
        return std::nullopt;
    const std::optional<TolvernAccountBridge::Session> session = bridge->currentSession();
    return session ? std::optional<QString>(session->tvs) : std::nullopt;
}

// The token a request goes out with: renewed first when it is about to expire.
QCoro::Task<std::optional<QString>> freshToken()
{
    TolvernAccountBridge *bridge = TolvernAccountBridge::sharedBridge();
    if (!bridge)
        co_return std::nullopt;
    auto fresh = bridge->freshSession();
    const std::optional<TolvernAccountBridge::Session> session = co_await std::move(fresh);
    co_return session ? std::optional<QString>(session->tvs) : std::nullopt;
}
} // namespace

ShellAccountIntegration::ShellAccountIntegration(BridgeFactory makeBridge)
    : m_makeBridge(std::move(makeBridge))
{
    // Analytics reads the account and the install metrics through these, from any thread.
    Analytics::Providers providers;
    providers.storedSession = []() -> std::optional<Analytics::StoredSession> {
        const std::optional<TolvernAccountSession> session = AccountSessionStorage::current();
        if (!session)
            return std::nullopt;
        return Analytics::StoredSession{session->sessionToken, session->tolvernAccountID};
    };
    providers.seedInstallID = [](const QString &installID) {
        auto storage = std::make_shared<KeychainStorage>(appSlug);
        if (!storage->getData(QLatin1String(TolvernInstallMetrics::Keys::installID)))
            storage->setData(installID.toUtf8(), QLatin1String(TolvernInstallMetrics::Keys::installID));
    };
    providers.installID = []() -> std::optional<QString> { return TolvernInstallMetrics(appSlug).installID(); };
    providers.shouldFireFirstOpen = [] { return TolvernInstallMetrics(appSlug).shouldFireFirstOpen(); };
    providers.markFirstOpenFired = [] { return TolvernInstallMetrics(appSlug).markFirstOpenFired(); };
    Analytics::setProviders(std::move(providers));

    DiagnosticUploader::shared().setSessionProvider(currentToken);
    DiagnosticUploader::shared().setFreshSessionProvider(freshToken);
    ServerPandocExporter::setFreshSessionProvider(freshToken);
    ServerExportCommands::setSignInHook([this] {
        if (m_signInPresenter)
            m_signInPresenter();
    });
}

ShellAccountIntegration::~ShellAccountIntegration()
{
    ServerExportCommands::setSignInHook(nullptr);
    ServerPandocExporter::setFreshSessionProvider(nullptr);
    DiagnosticUploader::shared().setFreshSessionProvider(nullptr);
    DiagnosticUploader::shared().setSessionProvider(nullptr);
    QObject::disconnect(m_accountIDConnection);
    SignInStateService::setShared(nullptr);
    m_signInState.reset();
    TolvernAccountBridge::setSharedBridge(nullptr);
    m_bridge.reset();
}

void ShellAccountIntegration::createBridge()
{
    if (m_bridge)
        return;
    m_bridge = m_makeBridge ? m_makeBridge() : std::make_unique<TolvernAccountBridge>();
    TolvernAccountBridge::setSharedBridge(m_bridge.get());
}

void ShellAccountIntegration::attachSession()
{
    if (m_bridge)
        AccountSessionManager::shared().attach(*m_bridge);
}

void ShellAccountIntegration::makeSignInState()
{
    if (!m_bridge || m_signInState)
        return;
    m_signInState = SignInStateService::make(*m_bridge);
    SignInStateService::setShared(m_signInState.get());
}

bool ShellAccountIntegration::hasBridge() const
{
    return m_bridge != nullptr;
}

bool ShellAccountIntegration::resumeSignIn(const QUrl &url)
{
    return m_bridge && m_bridge->manager().resume(url);
}

bool ShellAccountIntegration::handleOpenURL(const QUrl &url)
{
    return AccountSessionManager::handleOpenURL(url);
}

QString ShellAccountIntegration::accountID() const
{
    return AccountSessionManager::shared().tolvernAccountID();
}

void ShellAccountIntegration::setAccountIDChangedCallback(std::function<void(const QString &accountID)> callback)
{
    QObject::disconnect(m_accountIDConnection);
    if (!callback)
        return;
    AccountSessionManager &holder = AccountSessionManager::shared();
    m_accountIDConnection = QObject::connect(&holder, &AccountSessionManager::tolvernAccountIDChanged, &holder,
                                             [callback, &holder] { callback(holder.tolvernAccountID()); });
}

void ShellAccountIntegration::setSignInPresenter(std::function<void()> presenter)
{
    m_signInPresenter = std::move(presenter);
}
