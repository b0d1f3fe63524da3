#pragma once

class QNetworkAccessManager;

// The one network session every request of the OAuth client goes through.
class OidcURLSessionProvider
{
public:
    OidcURLSessionProvider() = delete;

    // The stored manager; on first use a process-wide one living on the application's thread.
    static QNetworkAccessManager *session();
    // Replaces it (not owned); nullptr is refused with the assertion logged. Set it
    // before the client is used from several threads.
    static void setSession(QNetworkAccessManager *session);
};
