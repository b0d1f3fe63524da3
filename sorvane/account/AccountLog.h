#pragma once

#include <QLoggingCategory>

// The logging category of the account/ folder ("sorvane.account"). Qt's own messages
// and these reach the diagnostic log through its message handler, redacted.
Q_DECLARE_LOGGING_CATEGORY(lcAccount)
