#pragma once

#include <QString>

// Application-wide constants.
namespace Constants {

// The application version: the build's SORVANE_VERSION, else the last known release.
QString version();

} // namespace Constants
