#include "DiagnosticsLog.h"

Q_LOGGING_CATEGORY(lcDiagnostics, "sorvane.diagnostics")
