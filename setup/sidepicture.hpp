// The wizard's side picture: a bitmap stored LZ-compressed in the stub's
// resources (payload/packedresource.hpp), expanded at start-up into a DIB
// section with the bitmap's own header and pixels: only the form the
// builder accepts (payload::CheckSidePicture), any other is not shown.
#pragma once

#include <windows.h>

namespace setup {

// The picture, or null when the resource is missing or damaged (the pages
// then show no picture).  The caller owns the bitmap.
HBITMAP LoadSidePicture(HINSTANCE instance);

}  // namespace setup
