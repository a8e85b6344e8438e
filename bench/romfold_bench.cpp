// romfold_bench: encoder throughput and compressed size at every level on one
// flat image, in 64 KB blocks, in one process.
//
//     romfold_bench [--repetitions N] [--level L] [--workers W] [--tsv FILE] IMAGE
//
// The image (nk.tmp of a run, or the segments joined) is read into memory
// once, so only the encoder is timed. For each level one handle encodes the
// whole image block by block with the same capacity the container writer
// gives it; one untimed pass records the sizes, then N timed passes (wall
// clock, steady_clock) give the median and the fastest pass. Sizes are
// counted as the container stores them: a compressed block counts its result,
// a stored block its length; the container size adds the 8-byte file header,
// the 4-byte block word of every record, the 4-byte size word of the last
// record and the padding of compressed blocks to a multiple of 4.
//
// --workers W times each pass on W threads with a handle each, taking the
// blocks in turn as romfold's workers do (the sizes still come from one
// untimed pass on one thread, and every timed pass must give the same sum of
// results). --level measures one level instead of all ten (for profiling). The human
// table goes to standard output; --tsv writes the same numbers as
// tab-separated values ("-" for standard output). MB are 10^6 bytes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container/worker_threads.h"
#include "encoder/fold_encoder.h"

namespace {

constexpr std::int32_t block_size = 65536;

struct Allocation {
    std::uint32_t requested = 0;
};

void* allocate(void* context, std::uint32_t size) {
    static_cast<Allocation*>(context)->requested = size;
    return std::malloc(size);
}

void release(void*, void* memory) { std::free(memory); }

struct Sizes {
    std::uint64_t blocks = 0;
    std::uint64_t stored_blocks = 0;
    std::uint64_t data_bytes = 0;       // what the records' data fields hold, without padding
    std::uint64_t container_bytes = 0;  // the whole container file
};

struct LevelResult {
    int level = 0;
    std::uint32_t handle_bytes = 0;
    Sizes sizes;
    double median_seconds = 0;
    double fastest_seconds = 0;
};

// Encodes the whole image once; returns the sum of the raw results, which
// must be the same on every pass, or -1 when the encoder reports a failure.
std::int64_t encode_image(EncoderHandle* handle, const std::vector<std::uint8_t>& image, std::uint8_t* out,
                          Sizes* sizes) {
    std::int64_t results = 0;
    for (std::size_t offset = 0; offset < image.size(); offset += block_size) {
        const std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(block_size, image.size() - offset));
        const std::int32_t c = FoldEncode(handle, out, block_size, image.data() + offset, n);
        if (c == 0) return -1;
        results += c;
        if (sizes != nullptr) {
            const bool stored = c >= n;
            const std::uint64_t data = stored ? static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(c);
            sizes->blocks += 1;
            sizes->stored_blocks += stored ? 1 : 0;
            sizes->data_bytes += data;
            sizes->container_bytes += 4 + data + (stored ? 0 : (4 - data % 4) % 4);
        }
    }
    if (sizes != nullptr) sizes->container_bytes += 8 + (sizes->blocks != 0 ? 4 : 0);
    return results;
}

// One timed pass on several threads: each has its own handle and output
// buffer and takes the next block nobody has taken.
struct ParallelPass {
    const std::vector<std::uint8_t>* image;
    std::vector<EncoderHandle*> handles;
    std::vector<std::vector<std::uint8_t>> outs;
    std::atomic<std::size_t> next_block{0};
    std::atomic<std::int64_t> results{0};
    std::atomic<bool> failed{false};
};

void encode_blocks(void* context, unsigned index) {
    ParallelPass& pass = *static_cast<ParallelPass*>(context);
    const std::vector<std::uint8_t>& image = *pass.image;
    std::int64_t results = 0;
    for (;;) {
        const std::size_t offset = pass.next_block.fetch_add(1) * block_size;
        if (offset >= image.size()) break;
        const std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(block_size, image.size() - offset));
        const std::int32_t c =
            FoldEncode(pass.handles[index], pass.outs[index].data(), block_size, image.data() + offset, n);
        if (c == 0) pass.failed = true;
        results += c;
    }
    pass.results += results;
}

std::int64_t encode_image_parallel(ParallelPass& pass) {
    pass.next_block = 0;
    pass.results = 0;
    romfold::WorkerGroup group;
    const unsigned workers = static_cast<unsigned>(pass.handles.size());
    if (group.start(workers, encode_blocks, &pass) != workers) pass.failed = true;
    group.join();
    return pass.failed ? -1 : pass.results.load();
}

bool measure_level(int level, const std::vector<std::uint8_t>& image, int repetitions, unsigned workers,
                   LevelResult* result) {
    Allocation allocation;
    ParallelPass pass;
    pass.image = &image;
    for (unsigned i = 0; i < workers; ++i) {
        EncoderHandle* handle = FoldEncodeCreateAtLevel(block_size, &allocation, allocate, level);
        if (handle == nullptr) {
            std::fprintf(stderr, "romfold_bench: no encoder handle at level %d\n", level);
            for (EncoderHandle* made : pass.handles) FoldEncodeClose(made, nullptr, release);
            return false;
        }
        pass.handles.push_back(handle);
        pass.outs.emplace_back(block_size);
    }
    result->level = level;
    result->handle_bytes = allocation.requested;
    const std::int64_t expected = encode_image(pass.handles[0], image, pass.outs[0].data(), &result->sizes);
    std::vector<double> seconds;
    bool ok = expected >= 0;
    for (int i = 0; ok && i < repetitions; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t results = workers > 1 ? encode_image_parallel(pass)
                                                 : encode_image(pass.handles[0], image, pass.outs[0].data(), nullptr);
        const auto stop = std::chrono::steady_clock::now();
        seconds.push_back(std::chrono::duration<double>(stop - start).count());
        if (results != expected) {
            std::fprintf(stderr, "romfold_bench: level %d gave different sizes on pass %d\n", level, i + 1);
            ok = false;
        }
    }
    for (EncoderHandle* handle : pass.handles) FoldEncodeClose(handle, nullptr, release);
    if (!ok) {
        if (expected < 0) std::fprintf(stderr, "romfold_bench: the encoder failed at level %d\n", level);
        return false;
    }
    std::sort(seconds.begin(), seconds.end());
    const std::size_t middle = seconds.size() / 2;
    result->median_seconds = seconds.size() % 2 != 0 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2.0;
    result->fastest_seconds = seconds.front();
    return true;
}

double megabytes_per_second(std::size_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
}

double ratio(std::size_t input, std::uint64_t output) {
    return output != 0 ? static_cast<double>(input) / static_cast<double>(output) : 0.0;
}

void write_tsv(std::FILE* stream, std::size_t input, const std::vector<LevelResult>& results) {
    std::fprintf(stream,
                 "level\tinput_bytes\tblocks\tstored_blocks\tdata_bytes\tcontainer_bytes\tratio\t"
                 "median_seconds\tfastest_seconds\tmb_per_s\thandle_bytes\n");
    for (const LevelResult& r : results) {
        std::fprintf(
            stream, "%d\t%zu\t%llu\t%llu\t%llu\t%llu\t%.4f\t%.6f\t%.6f\t%.2f\t%u\n", r.level, input,
            static_cast<unsigned long long>(r.sizes.blocks), static_cast<unsigned long long>(r.sizes.stored_blocks),
            static_cast<unsigned long long>(r.sizes.data_bytes),
            static_cast<unsigned long long>(r.sizes.container_bytes), ratio(input, r.sizes.container_bytes),
            r.median_seconds, r.fastest_seconds, megabytes_per_second(input, r.median_seconds), r.handle_bytes);
    }
}

void write_table(std::size_t input, int repetitions, unsigned workers, const std::vector<LevelResult>& results) {
    std::printf("Image: %zu bytes in %zu blocks of %d bytes; median of %d passes per level on %u worker%s\n\n", input,
                (input + block_size - 1) / block_size, block_size, repetitions, workers, workers == 1 ? "" : "s");
    std::printf("level     MB/s  median s  fastest s    data bytes  container bytes  ratio  stored  handle bytes\n");
    for (const LevelResult& r : results) {
        std::printf("%5d %8.1f %9.4f %10.4f %13llu %16llu %6.3f %7llu %13u\n", r.level,
                    megabytes_per_second(input, r.median_seconds), r.median_seconds, r.fastest_seconds,
                    static_cast<unsigned long long>(r.sizes.data_bytes),
                    static_cast<unsigned long long>(r.sizes.container_bytes), ratio(input, r.sizes.container_bytes),
                    static_cast<unsigned long long>(r.sizes.stored_blocks), r.handle_bytes);
    }
}

bool read_file(const char* path, std::vector<std::uint8_t>* data) {
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return false;
    std::uint8_t chunk[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, stream)) != 0) data->insert(data->end(), chunk, chunk + n);
    const bool ok = std::ferror(stream) == 0;
    std::fclose(stream);
    return ok;
}

int usage() {
    std::fprintf(stderr, "usage: romfold_bench [--repetitions N] [--level L] [--workers W] [--tsv FILE] IMAGE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 5;
    int first_level = 0;
    int last_level = 9;
    unsigned workers = 1;
    const char* tsv_path = nullptr;
    const char* image_path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repetitions" && i + 1 < argc) {
            repetitions = std::atoi(argv[++i]);
            if (repetitions < 1) return usage();
        } else if (arg == "--level" && i + 1 < argc) {
            first_level = last_level = std::atoi(argv[++i]);
            if (first_level < 0 || first_level > 9) return usage();
        } else if (arg == "--workers" && i + 1 < argc) {
            const int count = std::atoi(argv[++i]);
            if (count < 1 || count > 1024) return usage();
            workers = static_cast<unsigned>(count);
        } else if (arg == "--tsv" && i + 1 < argc) {
            tsv_path = argv[++i];
        } else if (image_path == nullptr && !arg.empty() && arg[0] != '-') {
            image_path = argv[i];
        } else {
            return usage();
        }
    }
    if (image_path == nullptr) return usage();

    std::vector<std::uint8_t> image;
    if (!read_file(image_path, &image)) {
        std::fprintf(stderr, "romfold_bench: cannot read %s\n", image_path);
        return 1;
    }

    std::vector<LevelResult> results;
    for (int level = first_level; level <= last_level; ++level) {
        LevelResult result;
        if (!measure_level(level, image, repetitions, workers, &result)) return 1;
        results.push_back(result);
    }

    write_table(image.size(), repetitions, workers, results);
    if (tsv_path != nullptr) {
        const bool to_stdout = std::strcmp(tsv_path, "-") == 0;
        std::FILE* stream = to_stdout ? stdout : std::fopen(tsv_path, "w");
        if (stream == nullptr) {
            std::fprintf(stderr, "romfold_bench: cannot write %s\n", tsv_path);
            return 1;
        }
        if (to_stdout) std::printf("\n");
        write_tsv(stream, image.size(), results);
        if (!to_stdout && std::fclose(stream) != 0) {
            std::fprintf(stderr, "romfold_bench: cannot write %s\n", tsv_path);
            return 1;
        }
    }
    return 0;
}
