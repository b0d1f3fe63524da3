#include "HomeIndexSource.h"

HomeIndexSource::~HomeIndexSource() = default;
