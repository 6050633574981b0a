// Path tokens: "%APP%", "%WIN%", "%TEMP%", "%PROG%" and "%SYS%" in an
// argument text are replaced by the installed application's directory (looked
// up through "kw.ini"), the Windows directory, the temporary folder, the fixed
// "C:\Program Files" and the system directory, each ending in "\".
#pragma once

#include <string>

#include "platform/platform.h"

std::string expandPathTokens(Handle instance, const std::string& text);
