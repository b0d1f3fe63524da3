#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The desktop's default-application table, through the `xdg-mime` tool. Calls run
// without blocking; the process runner is a seam tests replace.
class XdgMime
{
public:
    struct Result {
        bool started = false; // false when the tool could not be run at all
        int exitCode = -1;
        QString output;       // stdout, trimmed
        QString error;        // stderr, trimmed
        bool succeeded() const { return started && exitCode == 0; }
    };
    using Completion = std::function<void(const Result &)>;
    // Runs `xdg-mime` with the arguments and calls the completion on the GUI thread.
    using Runner = std::function<void(const QStringList &arguments, const Completion &completion)>;

    // The runner of this process: the real tool unless one was installed.
    static Runner runner();
    // Installs a runner; an empty one restores the real tool.
    static void setRunner(Runner runner);

    // The desktop file that opens `mimeType`, empty when none (or the tool failed).
    static void queryDefault(const QString &mimeType, std::function<void(const QString &desktopId)> completion);
    // Makes `desktopId` the default for every type in turn; reports the first failure.
    static void setDefault(const QString &desktopId, const QStringList &mimeTypes, const Completion &completion);

    // A readable description of a failed call.
    static QString describeFailure(const Result &result);
};
