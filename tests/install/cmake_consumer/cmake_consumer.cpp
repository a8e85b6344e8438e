// A C++ build tool using the installed encoder and decoder: handles at
// several levels on heap memory, each compressing a block that the decoder
// must give back, checked against what <romfold/fold_encoder.h> and
// <romfold/fold_decoder.h> promise. Prints every broken promise and exits 1.
#include <romfold/fold_decoder.h>
#include <romfold/fold_encoder.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char* what, int level) {
    if (!ok) {
        std::fprintf(stderr, "cmake_consumer: level %d: %s\n", level, what);
        ++failures;
    }
}

// Counts the allocation requests and hands out heap memory.
struct Heap {
    int requests = 0;
    std::uint32_t requested = 0;
    void* memory = nullptr;
    bool released = false;
};

void* heap_allocate(void* context, std::uint32_t size) {
    Heap* heap = static_cast<Heap*>(context);
    ++heap->requests;
    heap->requested = size;
    heap->memory = std::malloc(size);
    return heap->memory;
}

void heap_release(void* context, void* memory) {
    Heap* heap = static_cast<Heap*>(context);
    heap->released = memory == heap->memory;
    std::free(memory);
}

void* refuse_allocation(void* context, std::uint32_t) {
    ++static_cast<Heap*>(context)->requests;
    return nullptr;
}

// Words in a pseudo-random order: text that compresses, but not trivially.
std::vector<std::uint8_t> text_block(std::size_t size) {
    static const char* const words[] = {"kernel ", "image ", "segment ", "block ", "splash ", "loader ", "flash "};
    std::vector<std::uint8_t> bytes;
    std::uint32_t state = 1;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* word = words[(state >> 16) % 7];
        bytes.insert(bytes.end(), word, word + std::strlen(word));
    }
    bytes.resize(size);
    return bytes;
}

// Bytes from a linear congruential generator: nothing to find.
std::vector<std::uint8_t> noise_block(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 7;
    for (std::uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

struct LevelCase {
    std::int32_t level;
    std::uint32_t max_len;
    std::uint32_t request;  // the documented allocation size
};

constexpr LevelCase level_cases[] = {
    {-3, 65536, 12536}, {0, 65536, 12536},   {1, 65536, 66848},           {2, 65536, 197920},
    {9, 65536, 197920}, {12, 65536, 197920}, {5, 4096, 2 * 4096 + 66848},
};

void check_level(const LevelCase& row) {
    const int level = row.level;
    Heap heap;
    EncoderHandle* handle = FoldEncodeCreateAtLevel(row.max_len, &heap, heap_allocate, row.level);
    check(handle != nullptr, "FoldEncodeCreateAtLevel returned null", level);
    check(heap.requests == 1 && heap.requested == row.request, "not one request of the documented size", level);
    if (handle == nullptr) return;

    // One byte more than the maximum, for the block that is too long.
    const std::vector<std::uint8_t> text = text_block(row.max_len + 1);
    const std::int32_t in_len = static_cast<std::int32_t>(row.max_len);
    std::vector<std::uint8_t> out(row.max_len);
    std::vector<std::uint8_t> again(row.max_len);
    const std::int32_t capacity = static_cast<std::int32_t>(out.size());
    const std::int32_t size = FoldEncode(handle, out.data(), capacity, text.data(), in_len);
    check(size >= 4 && size <= in_len - 2, "text did not compress to 4..in_len-2 bytes", level);
    std::vector<std::uint8_t> decoded(row.max_len);
    check(size > 0 &&
              FoldDecodeBlock(out.data(), static_cast<std::size_t>(size), decoded.data(), decoded.size(), 0, nullptr) ==
                  FOLD_OK &&
              std::memcmp(decoded.data(), text.data(), decoded.size()) == 0,
          "the decoder did not give the block back", level);
    check(FoldEncode(handle, again.data(), capacity, text.data(), in_len) == size &&
              std::memcmp(out.data(), again.data(), static_cast<std::size_t>(size > 0 ? size : 0)) == 0,
          "compressing the same block again gave other bytes", level);

    const std::vector<std::uint8_t> noise = noise_block(row.max_len);
    check(FoldEncode(handle, out.data(), capacity, noise.data(), in_len) == in_len,
          "incompressible block not reported as stored (in_len)", level);
    check(FoldEncode(handle, out.data(), capacity, text.data(), in_len + 1) == in_len + 1,
          "block above the maximum not reported as stored", level);

    FoldEncodeClose(handle, &heap, heap_release);
    check(heap.released, "FoldEncodeClose did not release the allocated block", level);
}

// Creation is refused, and nothing allocated, for arguments out of range.
void check_refusals() {
    Heap heap;
    check(FoldEncodeCreate(0, &heap, heap_allocate) == nullptr, "max_len 0 accepted", 9);
    check(FoldEncodeCreate(65537, &heap, heap_allocate) == nullptr, "max_len 65537 accepted", 9);
    check(FoldEncodeCreate(65536, &heap, nullptr) == nullptr, "null allocate accepted", 9);
    check(heap.requests == 0, "a refused creation called allocate", 9);
    check(FoldEncodeCreate(65536, &heap, refuse_allocation) == nullptr && heap.requests == 1,
          "a refused allocation did not give null after one request", 9);
    check(FoldEncode(nullptr, nullptr, 0, nullptr, 16) == 0, "a null handle did not give 0", 9);
}

}  // namespace

int main() {
    for (const LevelCase& row : level_cases) check_level(row);
    check_refusals();
    if (failures != 0) return 1;
    std::puts("cmake_consumer: all checks passed");
    return 0;
}
