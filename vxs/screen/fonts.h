// Fonts of the terminal window and its controls.
#pragma once

namespace vxs {

// Frees the font cache (shut-down).
void freeFontCache();

}  // namespace vxs
