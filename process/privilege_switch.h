#pragma once
// Switching one privilege of an access token on or off.
#include <string>

#include "platform/privilege_token.h"

namespace hotfix {

// The privilege the running test holds while it reads other processes.
extern const char kDebugPrivilege[];   // "SeDebugPrivilege"

// Switches privilege `name` of `token` on (`enable` true) or off, leaving its other attribute
// bits as they were. Two adjustments: the first switches the privilege off for the moment and
// so learns its earlier attributes; the second sets them again with the enabled bit changed.
// True when both adjustments reported no error. When the first one fails (the token does not
// hold the privilege, for one), the answer is false and no second adjustment is made.
// Switching off clears the bit whatever the state before; the earlier state is not restored.
bool SwitchPrivilege(PrivilegeToken& token, const std::string& name, bool enable);

} // namespace hotfix
