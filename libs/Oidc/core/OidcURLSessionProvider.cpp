#include "OidcURLSessionProvider.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>

namespace {
QPointer<QNetworkAccessManager> stored;
}

QNetworkAccessManager *OidcURLSessionProvider::session()
{
    if (!stored) {
        auto *shared = new QNetworkAccessManager;
        if (QCoreApplication *app = QCoreApplication::instance()) {
            shared->moveToThread(app->thread());
            // Gone with the application, not leaked past it.
            QObject::connect(app, &QObject::destroyed, shared, &QObject::deleteLater);
        }
        stored = shared;
    }
    return stored;
}

void OidcURLSessionProvider::setSession(QNetworkAccessManager *session)
{
    if (!session) {
        qCritical("Parameter: |session| must be non-nil.");
        return;
    }
    stored = session;
}
