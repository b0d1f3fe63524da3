#pragma once

#include <QObject>

class DocumentManager;
class QSocketNotifier;

// Sends every way out of the application through DocumentManager's quit gate.
// The window's Quit command and its close button call requestQuit(); the desktop's
// logout arrives as QGuiApplication::commitDataRequest and may be refused; SIGTERM
// cannot be refused, so it writes the session and the snapshots without asking and
// then quits. One gate per process; it builds no widgets.
class QuitGate : public QObject
{
    Q_OBJECT
public:
    explicit QuitGate(DocumentManager &manager, QObject *parent = nullptr);
    ~QuitGate() override;

    // True when the application may quit now (the user answered every prompt).
    bool requestQuit();
    // The logout question: with interaction allowed the user is asked and may refuse
    // (false); without it the state is written as for SIGTERM and the logout goes on.
    bool commitData(bool interactionAllowed);
    // Catches SIGTERM through a socket pair the event loop watches. False when the
    // handler could not be set up (or another gate already has it).
    bool installTerminationHandler();

private:
    void handleTerminationSignal();
    static void onTerminationSignal(int signalNumber);

    DocumentManager &m_manager;
    QSocketNotifier *m_notifier = nullptr;
    bool m_ownsHandler = false;
};
