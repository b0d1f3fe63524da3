#pragma once

#include <QString>

// Where the application keeps its own files on this desktop.
// Paths are computed on every call from the XDG environment so that each test
// (and each process) sees the folders of its own HOME.
namespace AppPaths {

// The bundle identifier that names the support folder and the system-log ident.
inline constexpr const char *bundleIdentifier = "dev.tolvern.sorvane";

// $XDG_DATA_HOME/dev.tolvern.sorvane (created on demand by ensureFolder).
QString supportFolder();
// $XDG_STATE_HOME/Sorvane (default ~/.local/state/Sorvane).
QString logsFolder();
// $XDG_CONFIG_HOME/sorvane: the settings file lives here.
QString configFolder();
// A private 0700 folder for temporary files, under $XDG_RUNTIME_DIR or the cache folder.
QString privateTempFolder();

// Creates the folder with its parents; true when it exists afterwards.
bool ensureFolder(const QString &path);

} // namespace AppPaths
