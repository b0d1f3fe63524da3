#include "NetworkPathSource.h"

NetworkPathSource::~NetworkPathSource() = default;
