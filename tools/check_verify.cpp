#include "tools/check_verify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/file_system.h"

namespace romfold::check {

namespace {

// The container is read in pieces of this size; a record that spans pieces is
// gathered in the walker's work memory, so the memory stays at about two
// blocks whatever the file's size.
constexpr size_t piece_size = 16384;

std::string hex_bytes(const std::uint8_t* bytes, size_t size) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%s%02X", i == 0 ? "" : " ", bytes[i]);
        text += digits;
    }
    return text;
}

}  // namespace

bool CheckObserver::begin(const CheckSummary&, CheckError&) { return true; }
bool CheckObserver::block(const ContainerBlock&, CheckError&) { return true; }
bool CheckObserver::splash_row(const std::uint8_t*, std::uint32_t, CheckError&) { return true; }
bool CheckObserver::end(const CheckSummary&, CheckError&) { return true; }

std::string format_error(const CheckError& error) {
    std::string line = "romfold-check: " + error.file + ": ";
    if (error.offset) line += "offset " + std::to_string(*error.offset) + ": ";
    return line + error.message + "\n";
}

bool open_regular_file(const std::string& path, InputFile& file, CheckError& error) {
    error = CheckError{status_error, path, std::nullopt, {}};
    const PathKind kind = path_kind(path);
    if (kind == PathKind::missing) {
        error.message = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    if (kind != PathKind::regular) {
        error.message = kind == PathKind::directory ? "is a directory" : "is not a regular file";
        return false;
    }
    if (!file.open(path)) {
        error.message = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool check_file(const std::string& path, const std::vector<CheckObserver*>& observers, CheckSummary& summary,
                CheckError& error) {
    summary = CheckSummary{};
    InputFile file;
    if (!open_regular_file(path, file, error)) return false;
    summary.file_size = file.size();

    auto invalid = [&](std::uint64_t offset, std::string message) {
        error = CheckError{status_invalid, path, offset, std::move(message)};
        return false;
    };
    // A read that fails although the bytes lie inside the file; the message
    // names the offset itself.
    std::string io_message;
    auto failed = [&]() {
        error = CheckError{status_error, path, std::nullopt, io_message};
        return false;
    };

    std::uint8_t magic[4];
    if (file.size() < sizeof magic) {
        return invalid(0, "file of " + byte_count(file.size()) + " is too short to hold a magic");
    }
    if (!read_exactly(file.get(), magic, sizeof magic, 0, io_message)) return failed();

    // The header and the splash header are checked before the container, so
    // that no size is taken on trust.
    FoldImageInfo layout{};
    FoldFault fault{};
    std::uint64_t stream_at = 0;
    if (std::memcmp(magic, FOLD_IMAGE_SIGNATURE, 4) == 0) {
        summary.kind = FileKind::packed_image;
        std::uint8_t header[16] = {};
        const size_t header_bytes = file.size() < sizeof header ? size_t(file.size()) : sizeof header;
        if (!seek_to(file.get(), 0, io_message) || !read_exactly(file.get(), header, header_bytes, 0, io_message)) {
            return failed();
        }
        if (FoldReadImageHeader(header, size_t(file.size()), &layout, &fault) != FOLD_OK) {
            return invalid(fault.offset, describe_image_fault(fault, layout, file.size()));
        }
        if (layout.splash_size != 0) {
            const std::uint64_t splash_at = layout.stream_at + layout.stream_size;
            std::uint8_t splash[12];
            if (!seek_to(file.get(), splash_at, io_message) ||
                !read_exactly(file.get(), splash, sizeof splash, splash_at, io_message)) {
                return failed();
            }
            if (FoldReadSplashHeader(splash, &layout, &fault) != FOLD_OK) {
                return invalid(fault.offset, describe_image_fault(fault, layout, file.size()));
            }
        }
        stream_at = layout.stream_at;
        summary.stream_size = layout.stream_size;
        summary.has_splash = layout.splash_size != 0;
        summary.width = layout.width;
        summary.height = layout.height;
        summary.splash_size = layout.splash_size;
    } else if (std::memcmp(magic, FOLD_CONTAINER_SIGNATURE, 4) == 0) {
        summary.kind = FileKind::container;
        summary.stream_size = file.size();
    } else {
        return invalid(
            0, "unknown magic " + hex_bytes(magic, 4) + ": neither a packed image (IORW) nor a block container (XPRS)");
    }

    // The container, walked piece by piece; each block is decoded into one
    // block buffer and handed to the observers before the next is read.
    const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[FOLD_BLOCK_SIZE]);
    const std::unique_ptr<std::uint8_t[]> work(new std::uint8_t[FOLD_WALK_WORK_SIZE]);
    const std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[piece_size]);
    FoldWalker walker;
    FoldWalkBegin(&walker, FOLD_CONTAINER | FOLD_BLOCK_OUTPUT, size_t(summary.stream_size), block.get(),
                  FOLD_BLOCK_SIZE, work.get(), FOLD_WALK_WORK_SIZE);
    if (!seek_to(file.get(), stream_at, io_message)) return failed();
    std::uint64_t read = 0;
    const std::uint8_t* next = nullptr;
    size_t left = 0;
    for (;;) {
        const FoldEvent event = FoldWalk(&walker, &next, &left);
        if (event == FOLD_DONE) break;
        if (event == FOLD_FAULT) {
            return invalid(stream_at + walker.fault.offset, describe_container_fault(walker.fault, walker.info));
        }
        if (event == FOLD_NEED_INPUT) {
            // The walker checks every part against the container's length
            // before it asks for its bytes, so these lie inside the file.
            const std::uint64_t rest = summary.stream_size - read;
            const size_t take = rest < piece_size ? size_t(rest) : piece_size;
            if (!read_exactly(file.get(), piece.get(), take, stream_at + read, io_message)) return failed();
            read += take;
            next = piece.get();
            left = take;
        } else if (event == FOLD_HEADER) {
            summary.image_size = walker.info.image_size;
            for (CheckObserver* observer : observers) {
                if (!observer->begin(summary, error)) return false;
            }
        } else if (event == FOLD_BLOCK) {
            const FoldBlock& decoded = walker.block;
            const ContainerBlock checked{decoded.index,        stream_at + decoded.record_offset,
                                         decoded.image_offset, decoded.stored != 0,
                                         decoded.data_size,    decoded.bytes,
                                         decoded.size};
            ++summary.blocks;
            ++(checked.stored ? summary.stored_blocks : summary.compressed_blocks);
            for (CheckObserver* observer : observers) {
                if (!observer->block(checked, error)) return false;
            }
        }
    }

    if (summary.has_splash) {
        // The pixels follow the splash block's 12-byte header.
        if (!seek_to(file.get(), layout.pixels_at, io_message)) return failed();
        const std::uint32_t row_size = 2u * std::uint32_t(layout.width);
        std::vector<std::uint8_t> row(row_size);
        std::uint64_t row_at = layout.pixels_at;
        for (std::int32_t y = 0; y < layout.height && row_size != 0; ++y) {
            if (!read_exactly(file.get(), row.data(), row_size, row_at, io_message)) return failed();
            for (CheckObserver* observer : observers) {
                if (!observer->splash_row(row.data(), row_size, error)) return false;
            }
            row_at += row_size;
        }
    }

    for (CheckObserver* observer : observers) {
        if (!observer->end(summary, error)) return false;
    }
    return true;
}

}  // namespace romfold::check
