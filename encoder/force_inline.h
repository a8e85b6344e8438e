#pragma once

// The token writer and the match measurement sit inside every finder's inner
// loop; a call per token would cost more than the token itself.
#if defined(__GNUC__) || defined(__clang__)
#define ROMFOLD_FORCE_INLINE inline __attribute__((always_inline))
#else
#define ROMFOLD_FORCE_INLINE inline
#endif
