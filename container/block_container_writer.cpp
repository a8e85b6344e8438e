// The block container writer: one encoder handle for the whole file, one
// block at a time read into transfer_buffer and compressed into
// compress_buffer, so memory stays the same whatever the file's size.
#include "container/block_container_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "container/file_access.h"
#include "container/stream_ops.h"
#include "container/transfer_buffer.h"
#include "encoder/fold_encoder.h"

namespace romfold {
namespace {

constexpr std::uint32_t block_size = 65536;
constexpr std::uint32_t last_block_bit = 0x40000000;
constexpr std::uint32_t stored_block_bit = 0x80000000;

// Receives each compressed block; used by nothing else.
std::uint8_t compress_buffer[block_size];

void* heap_allocate(void*, std::uint32_t size) { return std::malloc(size); }

void heap_release(void*, void* memory) { std::free(memory); }

struct OpenFiles {
    EncoderHandle* handle;
    std::FILE* source;
    std::FILE* destination;

    // Releases the handle, then closes the source and the destination.
    void release() const {
        FoldEncodeClose(handle, nullptr, heap_release);
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

int FoldEncodeFile(const char* source, const char* destination) {
    if (source == nullptr || destination == nullptr) {
        std::printf("\nFoldEncodeFile: bad arguments\n");
        return fold_bad_arguments_or_source;
    }
    OpenFiles files{FoldEncodeCreate(block_size, nullptr, heap_allocate), nullptr, nullptr};
    if (files.handle == nullptr) {
        std::printf("\nFoldEncodeFile: FoldEncodeCreate() failed\n");
        return fold_create_failed;
    }
    std::uint32_t total = 0;
    if (OpenForReading(source, &files.source, &total) != open_ok) {
        std::printf("\nFoldEncodeFile: OpenForReading() failed\n");
        FoldEncodeClose(files.handle, nullptr, heap_release);
        return fold_bad_arguments_or_source;
    }
    if (OpenForWriting(destination, &files.destination) != open_ok) {
        std::printf("\nFoldEncodeFile: OpenForWriting() failed\n");
        FoldEncodeClose(files.handle, nullptr, heap_release);
        stream_close(files.source);
        return fold_destination_failed;
    }

    static const char write_failed[] = "\nFoldEncodeFile: fwrite() failed\n";
    std::uint32_t written = 0;
    if (stream_write("XPRS", 4, files.destination) != 4) return fail(files, fold_write_failed, write_failed);
    written += 4;
    if (!stream_write_le32(files.destination, total)) return fail(files, fold_write_failed, write_failed);
    written += 4;

    std::uint32_t read = 0;
    while (read < total) {
        // Never ask for more than is still due: a source that grows while it
        // is read cannot make the records disagree with the header.
        const std::uint32_t due = total - read;
        const std::uint32_t want = due < block_size ? due : block_size;
        // Fill the block: a read that delivers less without the source having
        // ended must not make a short block that is not the last.
        std::uint32_t n = 0;
        while (n < want) {
            const std::size_t got = stream_read(transfer_buffer + n, want - n, files.source);
            if (stream_error(files.source) != 0)
                return fail(files, fold_read_failed, "\nFoldEncodeFile: fread() failed\n");
            if (got == 0) break;
            n += static_cast<std::uint32_t>(got);
        }
        read += n;

        const std::int32_t c = FoldEncode(files.handle, compress_buffer, static_cast<std::int32_t>(block_size),
                                          transfer_buffer, static_cast<std::int32_t>(n));
        if (c == 0) return fail(files, fold_encode_failed, "\nFoldEncodeFile: FoldEncode() failed\n");
        const bool stored = static_cast<std::uint32_t>(c) >= n;
        const bool last = read == total;
        const std::uint32_t data_size = stored ? n : static_cast<std::uint32_t>(c);
        const std::uint32_t word = data_size | (stored ? stored_block_bit : 0) | (last ? last_block_bit : 0);

        if (!stream_write_le32(files.destination, word)) return fail(files, fold_write_failed, write_failed);
        written += 4;
        if (last) {
            if (!stream_write_le32(files.destination, n)) return fail(files, fold_write_failed, write_failed);
            written += 4;
        }
        const std::uint8_t* data = stored ? transfer_buffer : compress_buffer;
        if (stream_write(data, data_size, files.destination) != data_size)
            return fail(files, fold_write_failed, nullptr);
        std::uint32_t padding = 0;
        if (!stored && data_size % 4 != 0) {
            static const std::uint8_t zeros[4] = {0, 0, 0, 0};
            padding = 4 - data_size % 4;
            if (stream_write(zeros, padding, files.destination) != padding) {
                return fail(files, fold_write_failed, nullptr);
            }
        }
        written += data_size + padding;
    }

    FoldEncodeClose(files.handle, nullptr, heap_release);
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
