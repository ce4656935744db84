// SPDX-License-Identifier: MIT
/* stand-in for the Windows SDK's <ntverp.h> (Boost.Predef reads VER_PRODUCTBUILD) */
#pragma once
#define VER_PRODUCTBUILD 19041
#define VER_PRODUCTMAJORVERSION 10
#define VER_PRODUCTMINORVERSION 0
