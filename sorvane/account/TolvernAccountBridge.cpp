#include "TolvernAccountBridge.h"
