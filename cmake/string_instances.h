// Forced into every hostcmd.exe source (-include). libstdc++ declares
// std::string's members as instantiated in the library; the library's copies
// are compiled with exceptions and drag the whole exception machinery (and
// every string member, used or not) into the executable. The value -1 is the
// library's own switch that lifts those declarations for std::string alone,
// so the members hostcmd uses are instantiated in its own objects, built
// without exceptions, and the linker keeps only those.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
