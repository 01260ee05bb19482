#pragma once
// The current user's cookies folder, as the shell gives it.

#include <string>

namespace sentrel {

// CSIDL_COOKIES without a trailing backslash; empty when the shell cannot give it.
std::string CookiesFolder();

}  // namespace sentrel
