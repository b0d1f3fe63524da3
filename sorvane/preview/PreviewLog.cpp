#include "PreviewLog.h"

Q_LOGGING_CATEGORY(lcPreview, "sorvane.preview")
