#include "app/tokens.h"

// Filled in with the install lookup; until then texts pass unchanged.
std::string expandPathTokens(Handle, const std::string& text) { return text; }
