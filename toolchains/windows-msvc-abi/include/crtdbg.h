// SPDX-License-Identifier: MIT
/* overlay: Wine's <crtdbg.h> plus the release-build no-ops UCRT has */
#pragma once
#include_next <crtdbg.h>
#ifndef _HFILE_DEFINED
# define _HFILE_DEFINED
typedef void *_HFILE;
#endif
#ifndef _CRTDBG_FILE_STDERR
# define _CRTDBG_INVALID_HFILE ((_HFILE)(intptr_t)-1)
# define _CRTDBG_HFILE_ERROR   ((_HFILE)(intptr_t)-2)
# define _CRTDBG_FILE_STDOUT   ((_HFILE)(intptr_t)-4)
# define _CRTDBG_FILE_STDERR   ((_HFILE)(intptr_t)-5)
# define _CRTDBG_REPORT_FILE   ((_HFILE)(intptr_t)-6)
#endif
#if !defined(_DEBUG) && !defined(_CrtSetReportFile)
# define _CrtSetReportFile(t, f) ((_HFILE)0)
#endif
