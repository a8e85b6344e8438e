/*
 * fold_encoder.h - the LZ77 block encoder's whole public contract.
 *
 * The encoder compresses independent blocks of up to 65536 bytes into one byte
 * format at every level 0 to 9 (the levels differ only in how hard they look
 * for matches). It never allocates by itself and never touches files: at
 * creation it asks the caller for one block of memory, keeps its handle and
 * every work table inside that block, and gives it back at close.
 *
 * Usable from C and C++. Not thread-safe per handle: a handle serves one call
 * at a time. Different handles may be used from different threads once the
 * first handle of the process has been created (that creation fills the
 * process-wide hash tables, which are only read afterwards).
 *
 * Memory. FoldEncodeCreateAtLevel asks the allocate callback for exactly
 *     12536 bytes           at level 0 or below,
 *     66848 bytes           at level 1,
 *     2 * M + 66848 bytes   at levels 2 to 9 (197920 for M = 65536),
 * where M is the maximum block size. The handle lies at the first multiple of
 * 256 above the returned address, so any alignment of that address will do.
 */
#ifndef ROMFOLD_FOLD_ENCODER_H
#define ROMFOLD_FOLD_ENCODER_H

#include <stdint.h>

/*
 * Marks the calls below as the library's interface; every other symbol of the
 * shared library is hidden, so these are all it exports. On Windows they are
 * exported from the DLL while it is built (FOLD_ENCODER_BUILDING_DLL) and
 * imported from it by its users. A program linked with the static library
 * defines FOLD_ENCODER_STATIC (the CMake target romfold::encoder_static does
 * so for its users).
 */
#if defined(FOLD_ENCODER_STATIC)
#define FOLD_ENCODER_API
#elif defined(_WIN32)
#if defined(FOLD_ENCODER_BUILDING_DLL)
#define FOLD_ENCODER_API __declspec(dllexport)
#else
#define FOLD_ENCODER_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#define FOLD_ENCODER_API __attribute__((visibility("default")))
#else
#define FOLD_ENCODER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handle; lives inside the caller's memory block. */
typedef struct EncoderHandle EncoderHandle;

/* Returns at least `size` bytes of memory, or null. Called once per handle. */
typedef void* (*AllocateCallback)(void* context, uint32_t size);

/* Takes back the memory that AllocateCallback returned. */
typedef void (*ReleaseCallback)(void* context, void* memory);

/* Reports progress through a block: the input position reached so far. */
typedef void (*ProgressCallback)(void* context, int32_t position);

/*
 * Creates a handle for blocks of 1 to `max_len` bytes (max_len in 1..65536)
 * at `level`. Levels above 9 run as 9; levels below 0 run as 0.
 * Calls `allocate(context, size)` exactly once with the size listed above.
 * Returns null, without calling anything, when `allocate` is null or max_len
 * is out of range; returns null when the callback returns null.
 */
FOLD_ENCODER_API EncoderHandle* FoldEncodeCreateAtLevel(uint32_t max_len, void* context, AllocateCallback allocate,
                                                        int32_t level);

/* FoldEncodeCreateAtLevel at level 9. */
FOLD_ENCODER_API EncoderHandle* FoldEncodeCreate(uint32_t max_len, void* context, AllocateCallback allocate);

/*
 * Compresses one block of `in_len` bytes from `in` into `out`, which holds
 * `capacity` bytes. The result is
 *   0           the handle is null or no longer valid, or in_len is 0;
 *   in_len      the block is to be stored uncompressed: it did not get smaller,
 *               or in_len is 8 or less, negative or above the handle's maximum,
 *               or a buffer is null, or the capacity (lowered to in_len - 1 when
 *               it is in_len or more) is below 8; out then holds nothing useful;
 *   4..capacity-1  the size of the complete compressed block written to out,
 *               always at least 2 bytes below in_len.
 * Nothing is ever written at or beyond out + capacity. Compressing the same
 * block again gives the same bytes; blocks decode independently.
 *
 * When `progress` is not null it is called with 0 first, then at most once
 * per `step` input bytes with fifteen sixteenths of the position reached, and
 * with in_len last. A step of 0 or below, or above in_len, means in_len.
 * Progress reporting never changes the output.
 */
FOLD_ENCODER_API int32_t FoldEncodeWithProgress(EncoderHandle* handle, void* out, int32_t capacity, const void* in,
                                                int32_t in_len, ProgressCallback progress, void* progress_context,
                                                int32_t step);

/* FoldEncodeWithProgress without progress reports. */
FOLD_ENCODER_API int32_t FoldEncode(EncoderHandle* handle, void* out, int32_t capacity, const void* in, int32_t in_len);

/*
 * Invalidates the handle and hands its memory to `release(context, memory)`.
 * Does nothing (and calls nothing) when the handle is null or not valid, or
 * when `release` is null; in the last case the handle stays usable.
 */
FOLD_ENCODER_API void FoldEncodeClose(EncoderHandle* handle, void* context, ReleaseCallback release);

#ifdef __cplusplus
}
#endif

#endif
