#include "SignInStateService.h"
