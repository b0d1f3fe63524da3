#include "UserPresence.h"

#include "PamUserPresence.h"

namespace {
UserPresence *installed = nullptr;
}

UserPresence::~UserPresence() = default;

UserPresence &UserPresence::shared()
{
    static PamUserPresence pam;
    return installed ? *installed : pam;
}

void UserPresence::setShared(UserPresence *presence)
{
    installed = presence;
}
