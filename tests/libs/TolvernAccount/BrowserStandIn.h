#pragma once

#include "OidcExternalUserAgentMac.h"

#include <QList>
#include <QObject>
#include <QUrl>

// Stands in for the default browser while it lives: records every page a sign-in
// opens and every window it brings back, and opens nothing. The test then plays the
// browser with OidcPeer::followToRedirect.
class BrowserStandIn
{
public:
    BrowserStandIn()
    {
        OidcExternalUserAgentMac::setOpener([this](const QUrl &url) {
            opened.append(url);
            return true;
        });
        OidcExternalUserAgentMac::setWindowRaiser([this](QObject *window) { raised.append(window); });
    }
    ~BrowserStandIn()
    {
        OidcExternalUserAgentMac::setOpener(nullptr);
        OidcExternalUserAgentMac::setWindowRaiser(nullptr);
    }
    BrowserStandIn(const BrowserStandIn &) = delete;
    BrowserStandIn &operator=(const BrowserStandIn &) = delete;

    void clear()
    {
        opened.clear();
        raised.clear();
    }

    QList<QUrl> opened;
    QList<QObject *> raised;
};
