#include "WorkspaceLog.h"

Q_LOGGING_CATEGORY(lcWorkspace, "sorvane.workspace")
