#include "WebSchemes.h"

void registerWebSchemes()
{
    // The live preview's schemes are registered here once the preview exists.
}
