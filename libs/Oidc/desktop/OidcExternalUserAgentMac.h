#pragma once

#include "OidcExternalUserAgent.h"

#include <QPointer>

#include <functional>

// The desktop's user agent: opens the request in the default browser, with or without
// a window to bring back to the front when the redirect returns. There is no in-app
// sign-in sheet here, so the window only decides what is raised, and the wish for an
// ephemeral browser session cannot be honoured.
class OidcExternalUserAgentMac : public OidcExternalUserAgent
{
public:
    using Opener = std::function<bool(const QUrl &url)>;
    using WindowRaiser = std::function<void(QObject *window)>;

    OidcExternalUserAgentMac();
    explicit OidcExternalUserAgentMac(QObject *presentingWindow, bool prefersEphemeralSession = false);

    bool presentExternalUserAgentRequest(const OidcExternalUserAgentRequest &request,
                                         OidcExternalUserAgentSession *session) override;
    void dismissExternalUserAgent(bool animated, std::function<void()> completion) override;

    bool isFlowInProgress() const { return m_inProgress; }
    QObject *presentingWindow() const { return m_presentingWindow; }

    // Process-wide: how a URL reaches the browser (QDesktopServices::openUrl unless
    // replaced; nullptr restores it) and how a window is brought forward (nothing
    // unless the application sets it).
    static void setOpener(Opener opener);
    static void setWindowRaiser(WindowRaiser raiser);

private:
    void cleanUp();

    bool m_inProgress = false;
    QPointer<OidcExternalUserAgentSession> m_session;
    bool m_prefersEphemeralSession = false;
    QPointer<QObject> m_presentingWindow;
};
