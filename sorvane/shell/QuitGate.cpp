#include "QuitGate.h"

#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Written by the signal handler, read by the event loop; -1 while no gate has it.
int signalSockets[2] = {-1, -1};
} // namespace

QuitGate::QuitGate(DocumentManager &manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
{
#ifndef QT_NO_SESSIONMANAGER
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &session) {
            const bool interaction = session.allowsInteraction();
            const bool mayGo = commitData(interaction);
            if (interaction)
                session.release();
            if (!mayGo)
                session.cancel();
        });
    }
#endif
}

QuitGate::~QuitGate()
{
    if (!m_ownsHandler)
        return;
    std::signal(SIGTERM, SIG_DFL);
    delete m_notifier;
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

bool QuitGate::requestQuit()
{
    return m_manager.prepareForTermination();
}

bool QuitGate::commitData(bool interactionAllowed)
{
    if (interactionAllowed)
        return m_manager.prepareForTermination();
    m_manager.sessionKeeper().persistForForcedExit();
    return true;
}

void QuitGate::onTerminationSignal(int)
{
    // Only async-signal-safe calls here: the event loop does the real work.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = saved;
}

bool QuitGate::installTerminationHandler()
{
    if (m_ownsHandler || signalSockets[0] != -1)
        return m_ownsHandler;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0) {
        signalSockets[0] = signalSockets[1] = -1;
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = &QuitGate::onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, nullptr) != 0) {
        ::close(signalSockets[0]);
        ::close(signalSockets[1]);
        signalSockets[0] = signalSockets[1] = -1;
        return false;
    }
    m_ownsHandler = true;
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitGate::handleTerminationSignal);
    return true;
}

void QuitGate::handleTerminationSignal()
{
    char buffer[16];
    while (::read(signalSockets[1], buffer, sizeof buffer) > 0) {
    }
    m_notifier->setEnabled(false);
    // A second SIGTERM while the state is written (or after) ends the process at once.
    std::signal(SIGTERM, SIG_DFL);
    m_manager.sessionKeeper().persistForForcedExit();
    QCoreApplication::exit(0);
}
