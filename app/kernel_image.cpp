#include "app/kernel_image.h"

#include <cstdio>
#include <cstring>

#include "app/release_paths.h"
#include "container/file_access.h"
#include "container/stream_ops.h"
#include "container/transfer_buffer.h"
#include "encoder/byte_order.h"

namespace romfold {
namespace {

constexpr std::size_t signature_size = sizeof(kernel_signature) - 1;

// Reads one little-endian 32-bit field; false when fewer than 4 bytes arrive.
bool read_le32(std::FILE* stream, std::uint32_t* value) {
    std::uint8_t bytes[4];
    if (stream_read(bytes, sizeof bytes, stream) != sizeof bytes) {
        return false;
    }
    *value = load_le32(bytes);
    return true;
}

}  // namespace

int check_kernel_image(const std::string& kernel_image_path, std::uint32_t* image_length) {
    const char* path = kernel_image_path.c_str();
    std::FILE* stream = nullptr;
    std::uint32_t file_size = 0;  // only the header is read; the size is not needed
    if (OpenForReading(path, &stream, &file_size) != open_ok) {
        std::printf("Error opening %s.\r\n", path);
        return -1;
    }

    std::uint8_t signature[signature_size];
    if (stream_read(signature, signature_size, stream) != signature_size) {
        std::printf("Error reading %s signature.\r\n", path);
        stream_close(stream);
        return -1;
    }
    if (std::memcmp(signature, kernel_signature, signature_size) != 0) {
        std::printf("%s has an invalid signature.\r\n", path);
        stream_close(stream);
        return -1;
    }

    std::uint32_t base_address = 0;
    std::uint32_t length = 0;
    if (!read_le32(stream, &base_address) || !read_le32(stream, &length)) {
        std::printf("Error reading from %s.\r\n", path);
        stream_close(stream);
        return -1;
    }
    // The header is all we need; the file is closed before the address is judged.
    stream_close(stream);

    if (base_address != kernel_base_address) {
        std::printf("Only base address 0x80200000 is supported. File %s has base address %08x.\r\n", path,
                    static_cast<unsigned>(base_address));
        return -1;
    }

    // The length is reported as a signed number, so 2 GB and more shows negative.
    std::printf("Image in %s is %dbytes\r\n", path, static_cast<int>(length));
    *image_length = length;
    return 0;
}

int merge_segments(const std::string& directory, const std::string& merged_image_path, std::uint32_t image_length) {
    const char* merged_path = merged_image_path.c_str();
    std::FILE* merged = nullptr;
    if (OpenForWriting(merged_path, &merged) != open_ok) {
        std::printf("Error creating %s.\r\n", merged_path);
        return -1;
    }

    std::uint32_t merged_bytes = 0;
    for (int number = 0; merged_bytes < image_length; ++number) {
        const std::string segment_name = segment_path(directory, number);
        const char* segment_path_text = segment_name.c_str();
        std::printf("Merging %s.\r\n", segment_path_text);

        std::FILE* segment = nullptr;
        std::uint32_t remaining = 0;
        if (OpenForReading(segment_path_text, &segment, &remaining) != open_ok) {
            std::printf("Error opening %s.\r\n", segment_path_text);
            stream_close(merged);
            return -1;
        }

        while (remaining > 0) {
            // min(bytes left in the segment, buffer size, bytes still needed)
            std::uint32_t chunk =
                remaining <= transfer_buffer_size ? remaining : static_cast<std::uint32_t>(transfer_buffer_size);
            const std::uint32_t needed = image_length - merged_bytes;
            if (needed < chunk) {
                chunk = needed;
            }
            if (chunk == 0) {
                break;  // image complete; the rest of this segment is not needed
            }
            if (stream_read(transfer_buffer, chunk, segment) != chunk) {
                std::printf("Error reading from %s.\r\n", segment_path_text);
                stream_close(merged);
                stream_close(segment);
                return -1;
            }
            if (stream_write(transfer_buffer, chunk, merged) != chunk) {
                std::printf("Error writing to %s.\r\n", merged_path);
                stream_close(merged);
                stream_close(segment);
                return -1;
            }
            remaining -= chunk;
            merged_bytes += chunk;
        }
        stream_close(segment);
    }

    // Buffered bytes may only meet a full disk here, so the flush and the close
    // are both checked: a merge that did not reach the disk is not a success.
    const int flushed = stream_flush(merged);
    const int closed = stream_close(merged);
    if (flushed != 0 || closed != 0) {
        std::printf("Error writing to %s.\r\n", merged_path);
        return -1;
    }
    return 0;
}

}  // namespace romfold
