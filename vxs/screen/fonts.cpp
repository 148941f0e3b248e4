// The font cache (see fonts.h).
#include "vxs/screen/fonts.h"

namespace vxs {

void freeFontCache() {}

}  // namespace vxs
