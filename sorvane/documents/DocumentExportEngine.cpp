#include "DocumentExportEngine.h"

DocumentExportEngine::~DocumentExportEngine() = default;
