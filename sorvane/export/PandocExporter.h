#pragma once

#include <QString>

// Looks for a pandoc installed on this computer. Export never runs it; the answer
// only goes into the diagnostic report's details.
namespace PandocExporter {

// The absolute path of a pandoc executable on the PATH, or empty.
QString locatePandoc();

} // namespace PandocExporter
