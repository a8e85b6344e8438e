#include "tools/check_verify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "decoder/packed_image_reader.h"
#include "tools/file_system.h"

namespace romfold::check {

namespace {

CheckError from_failure(const std::string& path, const DecodeFailure& failure) {
    CheckError error;
    error.file = path;
    error.message = failure.message;
    if (failure.io_error) {
        // The reader's own text already names the offset of a failed read.
        error.status = status_error;
    } else {
        error.status = status_invalid;
        error.offset = failure.offset;
    }
    return error;
}

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
    DecodeFailure failure;
    if (!file.open(path, failure)) {
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
    auto failed = [&](const DecodeFailure& failure) {
        error = from_failure(path, failure);
        return false;
    };

    DecodeFailure failure;
    std::uint8_t magic[4];
    if (file.size() < sizeof magic) {
        return invalid(0, "file of " + byte_count(file.size()) + " is too short to hold a magic");
    }
    if (!read_exactly(file.get(), magic, sizeof magic, 0, failure)) return failed(failure);

    PackedImageLayout layout;
    std::uint64_t stream_at = 0;
    if (std::memcmp(magic, packed_image_magic, 4) == 0) {
        summary.kind = FileKind::packed_image;
        if (!read_packed_image_layout(file.get(), file.size(), layout, failure)) return failed(failure);
        stream_at = PackedImageLayout::stream_offset;
        summary.stream_size = layout.stream_size;
        summary.has_splash = layout.has_splash;
        summary.width = layout.width;
        summary.height = layout.height;
        summary.splash_size = layout.splash_size;
    } else if (std::memcmp(magic, container_magic, 4) == 0) {
        summary.kind = FileKind::container;
        summary.stream_size = file.size();
    } else {
        return invalid(
            0, "unknown magic " + hex_bytes(magic, 4) + ": neither a packed image (IORW) nor a block container (XPRS)");
    }

    ContainerReader reader(file.get(), stream_at, summary.stream_size);
    if (!reader.read_header(failure)) return failed(failure);
    summary.image_size = reader.total_size();
    for (CheckObserver* observer : observers) {
        if (!observer->begin(summary, error)) return false;
    }

    // An observer's objection is kept in error; the reader is only told to stop.
    bool observer_stopped = false;
    const bool blocks_ok = reader.read_blocks(
        [&](const ContainerBlock& block, DecodeFailure&) {
            ++summary.blocks;
            ++(block.stored ? summary.stored_blocks : summary.compressed_blocks);
            for (CheckObserver* observer : observers) {
                if (!observer->block(block, error)) {
                    observer_stopped = true;
                    return false;
                }
            }
            return true;
        },
        failure);
    if (observer_stopped) return false;
    if (!blocks_ok) return failed(failure);

    if (summary.has_splash) {
        // The container reader leaves the file at its end, where the splash
        // block starts; the pixels follow its 12-byte header.
        if (!seek_to(file.get(), layout.pixels_offset(), failure)) return failed(failure);
        const std::uint32_t row_size = 2u * std::uint32_t(layout.width);
        std::vector<std::uint8_t> row(row_size);
        std::uint64_t row_at = layout.pixels_offset();
        for (std::int32_t y = 0; y < layout.height && row_size != 0; ++y) {
            if (!read_exactly(file.get(), row.data(), row_size, row_at, failure)) return failed(failure);
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
