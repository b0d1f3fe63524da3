#include "RenderLog.h"

Q_LOGGING_CATEGORY(lcRender, "sorvane.render")
