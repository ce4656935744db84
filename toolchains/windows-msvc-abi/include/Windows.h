// SPDX-License-Identifier: MIT
/* case-insensitive alias */
#pragma once
#include <windows.h>
