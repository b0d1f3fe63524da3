#pragma once

#include <QString>

#include <functional>

// Mirror of diagnostic lines to the desktop's system log (syslog), with the
// bundle identifier as ident. Debug builds also echo to stderr.
namespace SystemLog {

enum class Type { Debug, Info, Error };

void write(Type type, const QString &category, const QString &line);

// Tests observe what reaches the system log; pass nullptr to stop observing.
using Observer = std::function<void(Type, const QString &category, const QString &line)>;
void setObserver(Observer observer);

} // namespace SystemLog
