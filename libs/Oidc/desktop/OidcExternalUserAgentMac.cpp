#include "OidcExternalUserAgentMac.h"

#include "OidcErrorUtilities.h"

#include <QDesktopServices>
#include <QMutex>

namespace {
QMutex hooksMutex;
OidcExternalUserAgentMac::Opener replacedOpener;
OidcExternalUserAgentMac::WindowRaiser windowRaiser;

bool openURL(const QUrl &url)
{
    OidcExternalUserAgentMac::Opener opener;
    {
        QMutexLocker lock(&hooksMutex);
        opener = replacedOpener;
    }
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}
} // namespace

OidcExternalUserAgentMac::OidcExternalUserAgentMac() = default;

OidcExternalUserAgentMac::OidcExternalUserAgentMac(QObject *presentingWindow, bool prefersEphemeralSession)
    : m_prefersEphemeralSession(prefersEphemeralSession)
    , m_presentingWindow(presentingWindow)
{
}

void OidcExternalUserAgentMac::setOpener(Opener opener)
{
    QMutexLocker lock(&hooksMutex);
    replacedOpener = std::move(opener);
}

void OidcExternalUserAgentMac::setWindowRaiser(WindowRaiser raiser)
{
    QMutexLocker lock(&hooksMutex);
    windowRaiser = std::move(raiser);
}

bool OidcExternalUserAgentMac::presentExternalUserAgentRequest(const OidcExternalUserAgentRequest &request,
                                                               OidcExternalUserAgentSession *session)
{
    if (m_inProgress)
        return false;
    m_inProgress = true;
    m_session = session;
    if (!openURL(request.externalUserAgentRequestURL())) {
        QPointer<OidcExternalUserAgentSession> failing = m_session;
        cleanUp();
        if (failing)
            failing->failExternalUserAgentFlowWithError(OidcErrorUtilities::errorWithCode(
                OidcErrorCode::browserOpenError, nullptr, QStringLiteral("Unable to open the browser.")));
        return false;
    }
    return true;
}

void OidcExternalUserAgentMac::dismissExternalUserAgent(bool, std::function<void()> completion)
{
    if (m_inProgress) {
        cleanUp();
        // The browser tab stays; what the user comes back to is the window.
        WindowRaiser raiser;
        {
            QMutexLocker lock(&hooksMutex);
            raiser = windowRaiser;
        }
        if (raiser && m_presentingWindow)
            raiser(m_presentingWindow);
    }
    if (completion)
        completion();
}

void OidcExternalUserAgentMac::cleanUp()
{
    m_session.clear();
    m_inProgress = false;
}
