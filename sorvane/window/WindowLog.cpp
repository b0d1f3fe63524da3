#include "WindowLog.h"

Q_LOGGING_CATEGORY(lcWindow, "sorvane.window")
