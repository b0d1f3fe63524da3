#include "TolvernAccountSession.h"
