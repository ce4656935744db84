// SPDX-License-Identifier: MIT
/* overlay: Wine's <excpt.h> with the compiler's SEH intrinsics (GetExceptionCode & co.) switched on */
#pragma once
#ifndef USE_COMPILER_EXCEPTIONS
# define USE_COMPILER_EXCEPTIONS
#endif
#include_next <excpt.h>
