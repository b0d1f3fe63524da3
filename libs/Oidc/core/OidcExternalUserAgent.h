#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class OidcError;

// What an external user agent opens: the URL, and the scheme its redirect comes back on.
class OidcExternalUserAgentRequest
{
public:
    virtual ~OidcExternalUserAgentRequest() = default;
    virtual QUrl externalUserAgentRequestURL() const = 0;
    virtual QString redirectScheme() const = 0;
};

// One flow waiting for its redirect; the caller keeps it to resume or cancel it.
class OidcExternalUserAgentSession : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    void cancel() { cancel(nullptr); }
    // Ends the flow with the user's cancel; `completion` runs after the callback.
    virtual void cancel(std::function<void()> completion) = 0;
    // True when the URL is this flow's redirect (and the flow takes it).
    virtual bool resumeExternalUserAgentFlowWithURL(const QUrl &url) = 0;
    virtual void failExternalUserAgentFlowWithError(const OidcError &error) = 0;
    // True once the caller's callback has run (or is on its way).
    virtual bool isFinished() const = 0;
};

// Shows a request to the user (the browser) and closes it again.
class OidcExternalUserAgent
{
public:
    virtual ~OidcExternalUserAgent() = default;
    // True when the request was opened.
    virtual bool presentExternalUserAgentRequest(const OidcExternalUserAgentRequest &request,
                                                 OidcExternalUserAgentSession *session) = 0;
    virtual void dismissExternalUserAgent(bool animated, std::function<void()> completion) = 0;
};
