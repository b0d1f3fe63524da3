// A DocumentManager driven line by line over stdin, answering "ok ..." on stdout, so a
// test can kill it at a known point. Commands:
//   open PATH | new | edit INDEX PERCENT-ENCODED-TEXT | sensitive INDEX
//   wait-session (until the debounced session write) | snapshot | gate (SIGTERM handler)
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "shell/QuitGate.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

void reply(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    DocumentManager manager;
    QuitGate gate(manager);
    QByteArray pending;

    const auto run = [&](const QByteArray &line) {
        const QList<QByteArray> parts = line.split(' ');
        const QByteArray command = parts.value(0);
        if (command == "open") {
            manager.openFile(QString::fromLocal8Bit(line.mid(5)));
            reply("ok " + manager.selectedId().toByteArray(QUuid::WithoutBraces));
        } else if (command == "new") {
            manager.newDocument();
            reply("ok " + manager.selectedId().toByteArray(QUuid::WithoutBraces));
        } else if (command == "edit" || command == "sensitive") {
            TabDocument *document = manager.documents().value(parts.value(1).toInt());
            if (!document)
                return reply("error no such tab");
            if (command == "edit")
                document->userEditedText(QString::fromUtf8(QByteArray::fromPercentEncoding(parts.value(2))));
            else
                document->setIsSensitive(true);
            reply("ok");
        } else if (command == "wait-session") {
            QEventLoop loop;
            QObject::connect(&manager.sessionKeeper(), &DocumentSessionKeeper::sessionStatePersisted, &loop, &QEventLoop::quit);
            loop.exec();
            reply("ok");
        } else if (command == "snapshot") {
            manager.sessionKeeper().saveRecoveryFiles();
            reply("ok");
        } else if (command == "gate") {
            reply(gate.installTerminationHandler() ? "ok" : "error no handler");
        } else {
            reply("error unknown command");
        }
    };

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input.setEnabled(false);
            QCoreApplication::exit(0);
            return;
        }
        pending.append(buffer, count);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            run(line);
        }
    });
    reply("ready");
    return QApplication::exec();
}
