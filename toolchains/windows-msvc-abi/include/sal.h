// SPDX-License-Identifier: MIT
/* overlay: Wine's <sal.h> plus the SAL annotations the MSVC STL uses that it lacks (all empty) */
#pragma once
#include_next <sal.h>
#ifndef _Analysis_assume_
# define _Analysis_assume_(e)
#endif
#ifndef _Check_return_opt_
# define _Check_return_opt_
#endif
#ifndef _Field_z_
# define _Field_z_
#endif
#ifndef _Guarded_by_
# define _Guarded_by_(x)
#endif
#ifndef _Inout_bytecount_
# define _Inout_bytecount_(x)
#endif
#ifndef _Pre_satisfies_
# define _Pre_satisfies_(x)
#endif
