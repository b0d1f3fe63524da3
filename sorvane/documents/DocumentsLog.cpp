#include "DocumentsLog.h"

Q_LOGGING_CATEGORY(lcDocuments, "sorvane.documents")
