// SPDX-License-Identifier: MIT
// Whether a code is one the interface documents: 0 and the codes of the status table.
#pragma once

#include "kova_status.h"

namespace kova_test {

inline bool documented_status(KovaStatus code)
{
    return code == 0 || (code >= 9000 && code <= 9021) || code == 9023 || code == 9025 ||
           (code >= 9100 && code <= 9111);
}

} // namespace kova_test
