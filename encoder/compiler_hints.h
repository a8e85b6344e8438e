// Compiler hints of the encoder's inner loops, spelled for GCC and clang and
// for MSVC; any other compiler gets plain code.
#pragma once

// The token writer and the match measurement sit inside every finder's inner
// loop; a call per token would cost more than the token itself.
#if defined(__GNUC__) || defined(__clang__)
#define ROMFOLD_FORCE_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define ROMFOLD_FORCE_INLINE __forceinline
#else
#define ROMFOLD_FORCE_INLINE inline
#endif

// Writes out the next loop `n` times: the walks of the chain finders test a
// fixed group of links with no counter. MSVC has no such pragma and
// leaves the loop as it is.
#define ROMFOLD_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define ROMFOLD_UNROLL(n) ROMFOLD_PRAGMA(unroll n)
#elif defined(__GNUC__)
#define ROMFOLD_UNROLL(n) ROMFOLD_PRAGMA(GCC unroll n)
#else
#define ROMFOLD_UNROLL(n)
#endif
