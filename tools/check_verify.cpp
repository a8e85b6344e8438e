#include "tools/check_verify.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "encoder/byte_order.h"
#include "tools/check_walk.h"
#include "tools/file_system.h"

namespace romfold::check {

namespace {

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
                CheckError& error, unsigned workers) {
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

    // The container: its first piece tells how many records it holds, so
    // how many workers can have a block to decode.
    ContainerCheck check(path, file, stream_at, observers, summary, error);
    const std::uint8_t* next = nullptr;
    size_t left = 0;
    if (!check.start(&next, &left)) return false;
    const std::uint32_t blocks = check.announced_blocks();
    const unsigned used = workers < blocks ? workers : unsigned(blocks);
    if (!(used > 1 ? walk_parallel(check, next, left, used) : walk_serial(check, next, left))) return false;

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

ContainerCheck::ContainerCheck(const std::string& path, InputFile& file, std::uint64_t stream_at,
                               const std::vector<CheckObserver*>& observers, CheckSummary& summary, CheckError& error)
    : path_(path),
      file_(file),
      stream_at_(stream_at),
      observers_(observers),
      summary_(summary),
      error_(error),
      piece_(new std::uint8_t[piece_size]) {}

bool ContainerCheck::start(const std::uint8_t** next, size_t* left) {
    std::string io_message;
    if (!seek_to(file_.get(), stream_at_, io_message)) {
        error_ = CheckError{status_error, path_, std::nullopt, io_message};
        return false;
    }
    *next = nullptr;
    *left = 0;
    // A shorter container is refused before the walker asks for a byte.
    return summary_.stream_size < 8 || read_piece(next, left);
}

std::uint32_t ContainerCheck::announced_blocks() const {
    if (read_ < 8) return 0;
    const std::uint64_t size = load_le32(piece_.get() + 4);
    return std::uint32_t((size + FOLD_BLOCK_SIZE - 1) / FOLD_BLOCK_SIZE);
}

bool ContainerCheck::read_piece(const std::uint8_t** next, size_t* left) {
    const std::uint64_t rest = summary_.stream_size - read_;
    const size_t take = rest < piece_size ? size_t(rest) : piece_size;
    std::string io_message;
    if (!read_exactly(file_.get(), piece_.get(), take, stream_at_ + read_, io_message)) {
        error_ = CheckError{status_error, path_, std::nullopt, io_message};
        return false;
    }
    read_ += take;
    *next = piece_.get();
    *left = take;
    return true;
}

bool ContainerCheck::header(const FoldWalker& walker) {
    summary_.image_size = walker.info.image_size;
    for (CheckObserver* observer : observers_) {
        if (!observer->begin(summary_, error_)) return false;
    }
    return true;
}

bool ContainerCheck::block(const FoldBlock& block, const std::uint8_t* bytes) {
    const ContainerBlock checked{
        block.index, stream_at_ + block.record_offset, block.image_offset, block.stored != 0, block.data_size, bytes,
        block.size};
    ++summary_.blocks;
    ++(checked.stored ? summary_.stored_blocks : summary_.compressed_blocks);
    for (CheckObserver* observer : observers_) {
        if (!observer->block(checked, error_)) return false;
    }
    return true;
}

bool ContainerCheck::fault(const FoldFault& fault, const FoldImageInfo& info) {
    error_ = CheckError{status_invalid, path_, stream_at_ + fault.offset, describe_container_fault(fault, info)};
    return false;
}

bool walk_serial(ContainerCheck& check, const std::uint8_t* next, size_t left) {
    const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[FOLD_BLOCK_SIZE]);
    const std::unique_ptr<std::uint8_t[]> work(new std::uint8_t[FOLD_WALK_WORK_SIZE]);
    FoldWalker walker;
    FoldWalkBegin(&walker, FOLD_CONTAINER | FOLD_BLOCK_OUTPUT, size_t(check.stream_size()), block.get(),
                  FOLD_BLOCK_SIZE, work.get(), FOLD_WALK_WORK_SIZE);
    for (;;) {
        switch (FoldWalk(&walker, &next, &left)) {
            case FOLD_DONE: return true;
            case FOLD_FAULT: return check.fault(walker.fault, walker.info);
            case FOLD_NEED_INPUT:
                if (!check.read_piece(&next, &left)) return false;
                break;
            case FOLD_HEADER:
                if (!check.header(walker)) return false;
                break;
            case FOLD_BLOCK:
                if (!check.block(walker.block, walker.block.bytes)) return false;
                break;
            default: break;  // a bare container has no splash events
        }
    }
}

}  // namespace romfold::check
