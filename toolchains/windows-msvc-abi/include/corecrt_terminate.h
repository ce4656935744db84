// SPDX-License-Identifier: MIT
/* UCRT splits terminate() & co. into this header; eh.h has them here */
#pragma once
#include <eh.h>
