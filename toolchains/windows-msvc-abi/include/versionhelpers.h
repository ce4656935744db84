// SPDX-License-Identifier: MIT
/* stand-in for the Windows SDK's <versionhelpers.h>, which Wine's headers lack (Google Benchmark
   includes it): what is built here runs on Windows 10 or later only, so every answer is yes. */
#pragma once
static inline int IsWindowsXPOrGreater(void) { return 1; }
static inline int IsWindowsVistaOrGreater(void) { return 1; }
static inline int IsWindows7OrGreater(void) { return 1; }
static inline int IsWindows8OrGreater(void) { return 1; }
static inline int IsWindows8Point1OrGreater(void) { return 1; }
static inline int IsWindows10OrGreater(void) { return 1; }
