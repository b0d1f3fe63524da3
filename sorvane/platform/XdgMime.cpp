#include "XdgMime.h"

#include <QProcess>

#include <memory>

namespace {
XdgMime::Runner &installedRunner()
{
    static XdgMime::Runner runner;
    return runner;
}

void runProcess(const QStringList &arguments, const XdgMime::Completion &completion)
{
    auto *process = new QProcess;
    process->setProgram(QStringLiteral("xdg-mime"));
    process->setArguments(arguments);
    // One answer per call, whether the tool ends or never starts.
    auto answered = std::make_shared<bool>(false);
    const auto answer = [process, completion, answered](const XdgMime::Result &result) {
        if (*answered)
            return;
        *answered = true;
        process->deleteLater();
        completion(result);
    };
    QObject::connect(process, &QProcess::finished, process, [process, answer](int exitCode, QProcess::ExitStatus status) {
        XdgMime::Result result;
        result.started = true;
        result.exitCode = status == QProcess::NormalExit ? exitCode : -1;
        result.output = QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed();
        result.error = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
        answer(result);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        XdgMime::Result result;
        result.error = QStringLiteral("xdg-mime could not be started.");
        answer(result);
    });
    process->start();
}
} // namespace

XdgMime::Runner XdgMime::runner()
{
    if (installedRunner())
        return installedRunner();
    return &runProcess;
}

void XdgMime::setRunner(Runner runner)
{
    installedRunner() = std::move(runner);
}

void XdgMime::queryDefault(const QString &mimeType, std::function<void(const QString &)> completion)
{
    runner()({QStringLiteral("query"), QStringLiteral("default"), mimeType}, [completion](const Result &result) {
        // An answer of nothing, or a failing tool, both mean no default is known.
        completion(result.succeeded() ? result.output.section(QLatin1Char('\n'), 0, 0).trimmed() : QString());
    });
}

void XdgMime::setDefault(const QString &desktopId, const QStringList &mimeTypes, const Completion &completion)
{
    if (mimeTypes.isEmpty()) {
        Result done;
        done.started = true;
        done.exitCode = 0;
        completion(done);
        return;
    }
    const QStringList rest = mimeTypes.mid(1);
    runner()({QStringLiteral("default"), desktopId, mimeTypes.first()},
             [desktopId, rest, completion](const Result &result) {
                 if (!result.succeeded()) {
                     completion(result);
                     return;
                 }
                 setDefault(desktopId, rest, completion);
             });
}

QString XdgMime::describeFailure(const Result &result)
{
    if (!result.error.isEmpty())
        return result.error;
    if (!result.started)
        return QStringLiteral("xdg-mime could not be started.");
    return QStringLiteral("xdg-mime ended with exit code %1.").arg(result.exitCode);
}
