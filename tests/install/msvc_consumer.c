/*
 * A C program built as Visual Studio builds one: compiled for the MSVC ABI
 * (clang --target=x86_64-pc-windows-msvc) and linked by an MSVC-style linker
 * (lld-link) against the zip's import libraries romfold_encoder.lib and
 * romfold_decoder.lib. It takes no C runtime (none for that ABI is at hand
 * here): the encoder's memory is a static array, the output goes through
 * kernel32 alone. It compresses a 64 KB buffer through libromfold_encoder.dll,
 * decodes it through libromfold_decoder.dll and compares, then exits 0, or
 * names the step that failed and exits 1.
 */
#include <romfold/fold_decoder.h>
#include <romfold/fold_encoder.h>

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* bytes, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned status);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
#define BLOCK 65536
#define ENCODER_MEMORY (2u * BLOCK + 66848u + 256u)

/* With no C runtime, the two routines the compiler may call for copies. */
void* memset(void* to, int value, size_t size) {
    unsigned char* bytes = (unsigned char*)to;
    while (size-- != 0) *bytes++ = (unsigned char)value;
    return to;
}
void* memcpy(void* to, const void* from, size_t size) {
    unsigned char* out = (unsigned char*)to;
    const unsigned char* in = (const unsigned char*)from;
    while (size-- != 0) *out++ = *in++;
    return to;
}

static unsigned char memory[ENCODER_MEMORY];
static unsigned char original[BLOCK];
static unsigned char packed[BLOCK];
static unsigned char decoded[BLOCK];

static void* allocate(void* context, uint32_t size) {
    (void)context;
    return size <= sizeof memory ? memory : (void*)0;
}
static void release(void* context, void* block) {
    (void)context;
    (void)block;
}

static void print(const char* text) {
    unsigned long size = 0, written = 0;
    while (text[size] != '\0') ++size;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, size, &written, (void*)0);
}

static void finish(int ok, const char* text) {
    print(text);
    ExitProcess(ok ? 0u : 1u);
}

void consumer_main(void) {
    /* Text that compresses, with a few irregular bytes. */
    uint32_t state = 1;
    for (int i = 0; i < BLOCK; ++i) {
        state = state * 1103515245u + 12345u;
        original[i] = (unsigned char)("romfold packs images "[i % 21] ^ ((state >> 28) == 0 ? 1 : 0));
    }
    if (FoldEncodeVersion() != FOLD_ENCODER_VERSION_NUMBER || FoldDecoderVersion() != FOLD_DECODER_VERSION_NUMBER)
        finish(0, "msvc_consumer: the DLLs' versions differ from the headers'\r\n");
    EncoderHandle* encoder = FoldEncodeCreate(BLOCK, (void*)0, allocate);
    if (encoder == (void*)0) finish(0, "msvc_consumer: FoldEncodeCreate failed\r\n");
    const int32_t size = FoldEncode(encoder, packed, BLOCK, original, BLOCK);
    FoldEncodeClose(encoder, (void*)0, release);
    if (size <= 0 || size >= BLOCK) finish(0, "msvc_consumer: FoldEncode did not compress\r\n");
    FoldBlockResult result;
    if (FoldDecodeBlock(packed, (size_t)size, decoded, BLOCK, 0, &result) != FOLD_OK)
        finish(0, "msvc_consumer: FoldDecodeBlock failed\r\n");
    for (int i = 0; i < BLOCK; ++i) {
        if (decoded[i] != original[i]) finish(0, "msvc_consumer: the decoded block differs\r\n");
    }
    finish(1, "msvc_consumer: 65536 bytes through both DLLs and back\r\n");
}
