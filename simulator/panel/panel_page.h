// SPDX-License-Identifier: MIT
// The panel's page, its script and its style: served from the stand-in itself, nothing from elsewhere.
#pragma once

namespace vqsim {
extern const char panel_page_html[];
extern const char panel_page_script[];
extern const char panel_page_style[];
} // namespace vqsim
