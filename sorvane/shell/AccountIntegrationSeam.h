#pragma once

#include "platform/SorvaneScheme.h"

#include <QString>
#include <QUrl>

#include <functional>

class SignInStateService;
class TolvernAccountBridge;

// The application's account objects at start-up and in URL routing: the account
// bridge, the session holder and the sign-in state. Does nothing until the account
// integration is built; its issue fills it in.
class AccountIntegrationSeam
{
public:
    virtual ~AccountIntegrationSeam() = default;
    // Builds the bridge (and its account manager) and makes it the shared one.
    virtual void createBridge() {}
    // Links the session holder to the bridge; restores the session at launch.
    virtual void attachSession() {}
    // Builds the observable sign-in state over the bridge.
    virtual void makeSignInState() {}
    // True while a bridge exists to take account callbacks.
    virtual bool hasBridge() const { return false; }
    // Hands a callback to a pending browser sign-in; true when it took it.
    virtual bool resumeSignIn(const QUrl &url)
    {
        (void)url;
        return false;
    }
    // The session holder's verdict: true (consumed) for the account callback hosts,
    // false for everything else, which is then opened as a document.
    virtual bool handleOpenURL(const QUrl &url) { return SorvaneScheme::isAccountCallback(url); }
    // The account objects the sign-in window and the restore toast are built on;
    // null until made.
    virtual TolvernAccountBridge *bridge() const { return nullptr; }
    virtual SignInStateService *signInState() const { return nullptr; }
    // The session holder's account id; empty while signed out.
    virtual QString accountID() const { return QString(); }
    // Called with the new id each time it changes; an empty callback stops the calls.
    virtual void setAccountIDChangedCallback(std::function<void(const QString &accountID)> callback)
    {
        (void)callback;
    }
};
