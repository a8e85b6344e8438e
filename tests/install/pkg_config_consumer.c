/*
 * A C build tool using the installed encoder, built with the flags of
 * `pkg-config --cflags --libs romfold_encoder`. It gives the encoder memory
 * of its own (no heap), compresses a buffer with and without progress
 * reports, and checks each result against what <romfold/fold_encoder.h>
 * promises. Prints every broken promise and exits 1.
 */
#include <romfold/fold_encoder.h>

#include <stdio.h>
#include <string.h>

#define MAX_BLOCK 65536u
#define LEVEL9_REQUEST (2u * MAX_BLOCK + 66848u)
#define INPUT_SIZE 4096
#define STEP 1024

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "pkg_config_consumer: %s\n", what);
        ++failures;
    }
}

/* The caller's memory: the encoder lives in it, and it records the calls. */
struct Arena {
    unsigned char bytes[LEVEL9_REQUEST];
    int requests;
    uint32_t requested;
    int releases;
    void* released;
};

static struct Arena arena;

static void* arena_allocate(void* context, uint32_t size) {
    struct Arena* a = (struct Arena*)context;
    ++a->requests;
    a->requested = size;
    return size <= sizeof a->bytes ? a->bytes : NULL;
}

static void arena_release(void* context, void* memory) {
    struct Arena* a = (struct Arena*)context;
    ++a->releases;
    a->released = memory;
}

struct ProgressLog {
    int32_t positions[16];
    int count;
};

static void record_progress(void* context, int32_t position) {
    struct ProgressLog* log = (struct ProgressLog*)context;
    if (log->count < (int)(sizeof log->positions / sizeof log->positions[0])) {
        log->positions[log->count] = position;
    }
    ++log->count;
}

int main(void) {
    static const char phrase[] = "romfold packs the release directory of the device. ";
    static unsigned char input[INPUT_SIZE];
    static unsigned char out[INPUT_SIZE];
    static unsigned char again[INPUT_SIZE];
    struct ProgressLog log = {{0}, 0};
    EncoderHandle* handle;
    int32_t size;
    int32_t size_with_progress;
    int i;

    for (i = 0; i < INPUT_SIZE; ++i) {
        input[i] = (unsigned char)(phrase[i % (int)(sizeof phrase - 1)] + (i / 512));
    }

    check(FoldEncodeVersion() == FOLD_ENCODER_VERSION_NUMBER, "the library's version is not the header's");
    check(FoldEncodeMemorySize(MAX_BLOCK, 9) == LEVEL9_REQUEST, "FoldEncodeMemorySize is not 2 * 65536 + 66848");

    handle = FoldEncodeCreate(MAX_BLOCK, &arena, arena_allocate);
    check(handle != NULL, "FoldEncodeCreate returned null");
    check(arena.requests == 1 && arena.requested == LEVEL9_REQUEST,
          "FoldEncodeCreate did not ask once for 2 * 65536 + 66848 bytes");
    if (handle == NULL) return 1;

    size = FoldEncode(handle, out, INPUT_SIZE, input, INPUT_SIZE);
    check(size >= 4 && size <= INPUT_SIZE - 2, "the buffer did not compress to 4..in_len-2 bytes");

    size_with_progress =
        FoldEncodeWithProgress(handle, again, INPUT_SIZE, input, INPUT_SIZE, record_progress, &log, STEP);
    check(size_with_progress == size && size > 0 && memcmp(out, again, (size_t)size) == 0,
          "progress reporting changed the output");
    check(log.count >= 2 && log.count <= 2 + INPUT_SIZE / STEP, "not one report per step, plus first and last");
    check(log.positions[0] == 0, "the first progress report is not 0");
    if (log.count >= 2 && log.count <= (int)(sizeof log.positions / sizeof log.positions[0])) {
        check(log.positions[log.count - 1] == INPUT_SIZE, "the last progress report is not in_len");
        for (i = 1; i < log.count; ++i) {
            check(log.positions[i] >= log.positions[i - 1], "progress went backwards");
        }
    }

    check(FoldEncode(handle, out, INPUT_SIZE, input, 8) == 8, "a block of 8 bytes was not reported as stored");
    check(FoldEncode(handle, out, 7, input, INPUT_SIZE) == INPUT_SIZE, "a capacity below 8 was not reported as stored");

    FoldEncodeClose(handle, &arena, arena_release);
    check(arena.releases == 1 && arena.released == arena.bytes,
          "FoldEncodeClose did not hand back the allocated block once");
    check(FoldEncode(handle, out, INPUT_SIZE, input, INPUT_SIZE) == 0, "a closed handle still compresses");

    if (failures != 0) return 1;
    printf("pkg_config_consumer: %d bytes compressed to %d\n", INPUT_SIZE, (int)size);
    return 0;
}
