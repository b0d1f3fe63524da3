#include "SystemLog.h"

#include "AppPaths.h"

#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <syslog.h>

namespace {

QMutex observerMutex;
SystemLog::Observer observer;

void openOnce()
{
    static const bool opened = [] {
        openlog(AppPaths::bundleIdentifier, LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
}

} // namespace

namespace SystemLog {

void write(Type type, const QString &category, const QString &line)
{
    openOnce();
    const int priority = type == Type::Error ? LOG_ERR : type == Type::Info ? LOG_INFO : LOG_DEBUG;
    const QByteArray text = QStringLiteral("[%1] %2").arg(category, line).toUtf8();
    syslog(priority, "%s", text.constData());
#ifndef NDEBUG
    std::fprintf(stderr, "%s\n", text.constData());
#endif
    Observer current;
    {
        QMutexLocker locker(&observerMutex);
        current = observer;
    }
    if (current)
        current(type, category, line);
}

void setObserver(Observer newObserver)
{
    QMutexLocker locker(&observerMutex);
    observer = std::move(newObserver);
}

} // namespace SystemLog
