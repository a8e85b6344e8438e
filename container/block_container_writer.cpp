// The block container writer: the source read one 64 KB block at a time,
// each block compressed with its own encoder call and written as one record,
// so memory stays the same whatever the file's size. With one worker the
// blocks go through transfer_buffer and compress_buffer on this thread; with
// several, the parallel loop holds a few blocks in flight.
#include "container/block_container_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "container/block_records.h"
#include "container/file_access.h"
#include "container/stream_ops.h"
#include "container/transfer_buffer.h"
#include "encoder/fold_encoder.h"

namespace romfold {
namespace {

constexpr std::uint32_t block_size = container_block_size;
constexpr std::uint32_t last_block_bit = 0x40000000;
constexpr std::uint32_t stored_block_bit = 0x80000000;

// Receives each compressed block of the one-worker loop; used by nothing else.
std::uint8_t compress_buffer[block_size];

void* heap_allocate(void*, std::uint32_t size) { return std::malloc(size); }

void heap_release(void*, void* memory) { std::free(memory); }

const char write_failed[] = "\nFoldEncodeFile: fwrite() failed\n";

struct OpenFiles {
    std::vector<EncoderHandle*> handles;  // one per worker; the first is made before the files are opened
    std::FILE* source;
    std::FILE* destination;

    // Releases the handles, then closes the source and the destination.
    void release() const {
        for (EncoderHandle* handle : handles) FoldEncodeClose(handle, nullptr, heap_release);
        stream_close(source);
        stream_close(destination);
    }
};

int fail(const OpenFiles& files, int status, const char* message) {
    if (message != nullptr) std::printf("%s", message);
    files.release();
    return status;
}

}  // namespace

RecordStatus fill_block(std::FILE* source, std::uint8_t* block, std::uint32_t want, std::uint32_t* got) {
    std::uint32_t n = 0;
    while (n < want) {
        const std::size_t part = stream_read(block + n, want - n, source);
        if (stream_error(source) != 0) return RecordStatus{fold_read_failed, "\nFoldEncodeFile: fread() failed\n"};
        if (part == 0) break;
        n += static_cast<std::uint32_t>(part);
    }
    *got = n;
    return records_written;
}

RecordStatus write_record(const RecordStreams& streams, const std::uint8_t* input, std::uint32_t n,
                          const std::uint8_t* output, std::int32_t c, bool last) {
    if (c == 0) return RecordStatus{fold_encode_failed, "\nFoldEncodeFile: FoldEncode() failed\n"};
    const RecordStatus header_failed{fold_write_failed, write_failed};
    const RecordStatus data_failed{fold_write_failed, nullptr};
    const bool stored = static_cast<std::uint32_t>(c) >= n;
    const std::uint32_t data_size = stored ? n : static_cast<std::uint32_t>(c);
    const std::uint32_t word = data_size | (stored ? stored_block_bit : 0) | (last ? last_block_bit : 0);

    if (!stream_write_le32(streams.destination, word)) return header_failed;
    *streams.written += 4;
    if (last) {
        if (!stream_write_le32(streams.destination, n)) return header_failed;
        *streams.written += 4;
    }
    const std::uint8_t* data = stored ? input : output;
    if (stream_write(data, data_size, streams.destination) != data_size) return data_failed;
    std::uint32_t padding = 0;
    if (!stored && data_size % 4 != 0) {
        static const std::uint8_t zeros[4] = {0, 0, 0, 0};
        padding = 4 - data_size % 4;
        if (stream_write(zeros, padding, streams.destination) != padding) return data_failed;
    }
    *streams.written += data_size + padding;
    return records_written;
}

RecordStatus write_records_serial(const RecordStreams& streams, EncoderHandle* handle, std::uint8_t* block,
                                  std::uint8_t* compressed) {
    std::uint32_t read = 0;
    while (read < streams.total) {
        // Never ask for more than is still due: a source that grows while it
        // is read cannot make the records disagree with the header.
        const std::uint32_t due = streams.total - read;
        std::uint32_t n = 0;
        if (const RecordStatus filled = fill_block(streams.source, block, due < block_size ? due : block_size, &n);
            filled.status != fold_ok) {
            return filled;
        }
        read += n;
        const std::int32_t c =
            FoldEncode(handle, compressed, static_cast<std::int32_t>(block_size), block, static_cast<std::int32_t>(n));
        if (const RecordStatus status = write_record(streams, block, n, compressed, c, read == streams.total);
            status.status != fold_ok) {
            return status;
        }
    }
    return records_written;
}

void print_statistics(std::uint32_t input_size, std::uint32_t output_size) {
    const std::int32_t in = static_cast<std::int32_t>(input_size);
    const std::int32_t out = static_cast<std::int32_t>(output_size);
    std::printf("\nInput file size : %d bytes\n", in);
    std::printf("Output file size: %d bytes\n", out);
    if (in != 0) {
        std::printf("Gain            : %.2f%%\n", (1.0 - static_cast<double>(out) / static_cast<double>(in)) * 100.0);
    } else {
        std::printf("Gain            : 0.00\n");
    }
}

int FoldEncodeFile(const char* source, const char* destination, unsigned workers) {
    if (source == nullptr || destination == nullptr) {
        std::printf("\nFoldEncodeFile: bad arguments\n");
        return fold_bad_arguments_or_source;
    }
    OpenFiles files{{}, nullptr, nullptr};
    EncoderHandle* first = FoldEncodeCreate(block_size, nullptr, heap_allocate);
    if (first == nullptr) {
        std::printf("\nFoldEncodeFile: FoldEncodeCreate() failed\n");
        return fold_create_failed;
    }
    files.handles.push_back(first);
    std::uint32_t total = 0;
    if (OpenForReading(source, &files.source, &total) != open_ok) {
        std::printf("\nFoldEncodeFile: OpenForReading() failed\n");
        FoldEncodeClose(first, nullptr, heap_release);
        return fold_bad_arguments_or_source;
    }
    if (OpenForWriting(destination, &files.destination) != open_ok) {
        std::printf("\nFoldEncodeFile: OpenForWriting() failed\n");
        FoldEncodeClose(first, nullptr, heap_release);
        stream_close(files.source);
        return fold_destination_failed;
    }

    std::uint32_t written = 0;
    if (stream_write("XPRS", 4, files.destination) != 4) return fail(files, fold_write_failed, write_failed);
    written += 4;
    if (!stream_write_le32(files.destination, total)) return fail(files, fold_write_failed, write_failed);
    written += 4;

    // At most one worker per block. A handle the heap cannot give only means
    // fewer workers: the output does not depend on their number.
    const std::uint32_t blocks = total / block_size + (total % block_size != 0 ? 1 : 0);
    const unsigned wanted = workers < blocks ? workers : blocks;
    while (files.handles.size() < wanted) {
        EncoderHandle* handle = FoldEncodeCreate(block_size, nullptr, heap_allocate);
        if (handle == nullptr) break;
        files.handles.push_back(handle);
    }
    const unsigned parallel = static_cast<unsigned>(files.handles.size());
    const unsigned in_flight = parallel * blocks_in_flight_per_worker;
    std::unique_ptr<std::uint8_t[]> memory;
    if (parallel > 1) memory.reset(new (std::nothrow) std::uint8_t[std::size_t{in_flight} * block_in_flight_size]);
    const RecordStreams streams{files.source, files.destination, total, &written};
    const RecordStatus records =
        memory != nullptr ? write_records_parallel(streams, files.handles.data(), parallel, memory.get(), in_flight)
                          : write_records_serial(streams, first, transfer_buffer, compress_buffer);
    if (records.status != fold_ok) return fail(files, records.status, records.message);

    for (EncoderHandle* handle : files.handles) FoldEncodeClose(handle, nullptr, heap_release);
    stream_close(files.source);
    // A full disk may only show when the buffered bytes are written out.
    if (stream_close(files.destination) != 0) {
        std::printf("%s", write_failed);
        return fold_write_failed;
    }
    print_statistics(total, written);
    return fold_ok;
}

}  // namespace romfold
