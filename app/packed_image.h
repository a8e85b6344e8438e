// The last stages of a run: the compressed stream nbx.tmp is measured, the
// optional splash screen splash.tss is checked, and the packed image nk.nbx
// is written:
//
//     "IORW"  16  S  splash block size      16-byte header
//     the S bytes of nbx.tmp, unchanged
//     "ECEC"  W  H  2*W*H pixel bytes       only with a splash screen
//
// All integers are 32-bit little-endian. Each stage prints its own messages
// and closes what it opened; nothing written is ever removed.
#pragma once

#include "app/release_paths.h"

namespace romfold {

// Stages 5 to 8. Returns 0 after "Image file <nk.nbx> generated successfully"
// (printed without a line end), or -1 after the failing stage's message.
int write_packed_image(const ReleasePaths& paths);

}  // namespace romfold
