#include "AccountSessionManager.h"
