#pragma once

#include <QLoggingCategory>

// The logging category of the workspace/ folder ("sorvane.workspace").
Q_DECLARE_LOGGING_CATEGORY(lcWorkspace)
