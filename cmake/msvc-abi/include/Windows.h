/* case-insensitive alias */
#pragma once
#include <windows.h>
