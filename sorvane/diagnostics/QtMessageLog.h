#pragma once

// Routes every qDebug/qInfo/qWarning/qCritical/qFatal (Qt's own and our folders'
// categories) into DiagnosticLogBuffer::shared() at the matching level, under the
// message's category, then hands it on to the handler installed before, so the
// console output stays. main() installs it once, before the application object.
namespace QtMessageLog {

// Idempotent and safe from any thread; only the first call installs.
void install();

// With a quiet console, debug and info messages reach only the log, not the handler
// before (the terminal): a user's terminal shows nothing unless something is wrong.
// Warnings and worse always go on. Off until set.
void setQuietConsole(bool quiet);

} // namespace QtMessageLog
