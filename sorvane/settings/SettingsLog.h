#pragma once

#include <QLoggingCategory>

// The logging category of the settings/ folder ("sorvane.settings").
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
