// SPDX-License-Identifier: MIT
// The debug operator new header the STL names; this build has no debug runtime, so the release one serves.
#pragma once
#include <vcruntime_new.h>
