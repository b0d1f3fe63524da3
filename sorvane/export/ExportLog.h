#pragma once

#include <QLoggingCategory>

// The logging category of the export/ folder ("sorvane.export"). Qt's own messages and
// these reach the diagnostic log through its message handler, redacted.
Q_DECLARE_LOGGING_CATEGORY(lcExport)
