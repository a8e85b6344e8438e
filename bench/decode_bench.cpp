// romfold_decode_bench: in-memory decoding throughput of the decoder library
// on one packed image.
//
//     romfold_decode_bench [--repetitions N] NK_NBX
//
// The packed image is read into memory once; each pass decodes it whole into
// one image buffer, first with FoldDecodeImage (strict, then lenient), then
// walked in 64 KB pieces into one block buffer as a loader reading flash
// would. One untimed pass checks that every way gives the same image; N timed
// passes each (wall clock, steady_clock) give the median and the fastest.
// Prints one tab-separated line per way: name, image bytes, median seconds,
// fastest seconds, MB/s of image bytes at the median (MB are 10^6 bytes).
#include <romfold/fold_decoder.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> read_file(const char* path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return bytes;
    std::uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
    return bytes;
}

// Walks the input in pieces into one block buffer, copying each block into
// the image so that the result can be checked.
bool walk(const std::vector<std::uint8_t>& input, std::vector<std::uint8_t>& image, std::vector<std::uint8_t>& block,
          std::vector<std::uint8_t>& work) {
    constexpr size_t piece = 65536;
    FoldWalker walker;
    FoldWalkBegin(&walker, FOLD_PACKED_IMAGE | FOLD_BLOCK_OUTPUT, input.size(), block.data(), block.size(), work.data(),
                  work.size());
    size_t fed = 0;
    const std::uint8_t* next = nullptr;
    size_t left = 0;
    for (;;) {
        switch (FoldWalk(&walker, &next, &left)) {
            case FOLD_NEED_INPUT:
                next = input.data() + fed;
                left = std::min(piece, input.size() - fed);
                fed += left;
                break;
            case FOLD_BLOCK:
                std::memcpy(image.data() + walker.block.image_offset, walker.block.bytes, walker.block.size);
                break;
            case FOLD_DONE: return true;
            case FOLD_FAULT: return false;
            default: break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 25;
    int arg = 1;
    if (argc > 3 && std::strcmp(argv[1], "--repetitions") == 0) {
        repetitions = std::max(1, std::atoi(argv[2]));
        arg = 3;
    }
    if (argc != arg + 1) {
        std::fprintf(stderr, "usage: romfold_decode_bench [--repetitions N] NK_NBX\n");
        return 2;
    }
    const std::vector<std::uint8_t> input = read_file(argv[arg]);
    FoldImageInfo info;
    if (input.empty() || FoldDecodeImage(input.data(), input.size(), nullptr, 0, FOLD_PACKED_IMAGE, &info, nullptr) !=
                             FOLD_BUFFER_TOO_SMALL) {
        std::fprintf(stderr, "romfold_decode_bench: %s is no packed image with a non-empty image\n", argv[arg]);
        return 2;
    }
    std::vector<std::uint8_t> reference(info.image_size), image(info.image_size);
    std::vector<std::uint8_t> block(FOLD_BLOCK_SIZE), work(FOLD_WALK_WORK_SIZE);

    struct Way {
        const char* name;
        bool (*run)(const std::vector<std::uint8_t>&, std::vector<std::uint8_t>&, std::vector<std::uint8_t>&,
                    std::vector<std::uint8_t>&);
    };
    const Way ways[] = {
        {"FoldDecodeImage",
         [](const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out, std::vector<std::uint8_t>&,
            std::vector<std::uint8_t>&) {
             return FoldDecodeImage(in.data(), in.size(), out.data(), out.size(), FOLD_PACKED_IMAGE, nullptr,
                                    nullptr) == FOLD_OK;
         }},
        {"FoldDecodeImage, lenient",
         [](const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out, std::vector<std::uint8_t>&,
            std::vector<std::uint8_t>&) {
             return FoldDecodeImage(in.data(), in.size(), out.data(), out.size(), FOLD_PACKED_IMAGE | FOLD_LENIENT,
                                    nullptr, nullptr) == FOLD_OK;
         }},
        {"FoldWalk, 64 KB pieces, block buffer", walk},
    };
    if (!ways[0].run(input, reference, block, work)) {
        std::fprintf(stderr, "romfold_decode_bench: %s does not decode\n", argv[arg]);
        return 1;
    }
    for (const Way& way : ways) {
        std::fill(image.begin(), image.end(), 0);
        if (!way.run(input, image, block, work) || image != reference) {
            std::fprintf(stderr, "romfold_decode_bench: %s gives another image\n", way.name);
            return 1;
        }
        std::vector<double> seconds;
        for (int i = 0; i < repetitions; ++i) {
            const Clock::time_point start = Clock::now();
            way.run(input, image, block, work);
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        std::printf("%s\t%u\t%.6f\t%.6f\t%.1f\n", way.name, unsigned(info.image_size), median, seconds.front(),
                    double(info.image_size) / median / 1e6);
    }
    return 0;
}
