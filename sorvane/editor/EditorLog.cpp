#include "EditorLog.h"

Q_LOGGING_CATEGORY(lcEditor, "sorvane.editor")
