#include "tools/check_extract.h"

#include <cerrno>
#include <cstring>

#include "encoder/byte_order.h"
#include "tools/file_system.h"

namespace romfold::check {

namespace {

std::string system_error(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::uint32_t bitmap_row_stride(std::int32_t width) { return (2u * std::uint32_t(width) + 3u) & ~3u; }

std::array<std::uint8_t, bitmap_header_size> bitmap_header(std::int32_t width, std::int32_t height) {
    const std::uint32_t pixel_bytes = bitmap_row_stride(width) * std::uint32_t(height);
    std::array<std::uint8_t, bitmap_header_size> h{};
    // File header.
    h[0] = 'B';
    h[1] = 'M';
    store_le32(&h[2], bitmap_header_size + pixel_bytes);  // file size
    store_le32(&h[10], bitmap_header_size);               // pixel data offset
    // Information header; a positive height means bottom-up rows.
    store_le32(&h[14], 40);
    store_le32(&h[18], std::uint32_t(width));
    store_le32(&h[22], std::uint32_t(height));
    store_le16(&h[26], 1);   // planes
    store_le16(&h[28], 16);  // bits per pixel
    store_le32(&h[30], 3);   // bit fields: the masks below give the layout of a pixel
    store_le32(&h[34], pixel_bytes);
    store_le32(&h[38], 2835);  // 72 dots per inch, as pixels per metre
    store_le32(&h[42], 2835);
    // Colour masks: red, green, blue of a 5-6-5 pixel.
    store_le32(&h[54], 0xF800);
    store_le32(&h[58], 0x07E0);
    store_le32(&h[62], 0x001F);
    return h;
}

Extractor::~Extractor() {
    for (Pending* file : {&image_, &bitmap_, &raw_}) {
        if (file->stream != nullptr) std::fclose(file->stream);
        if (file->active) remove_file(file->temporary_path);
    }
    if (created_dir_ && committed_.empty()) remove_directory(dir_);
}

std::string Extractor::path_of(const char* name) const { return join_path(dir_, name); }

bool Extractor::create(Pending& file, const char* name, CheckError& error) {
    file.final_path = path_of(name);
    error = CheckError{status_error, file.final_path, std::nullopt, {}};
    const PathKind kind = path_kind(file.final_path, false);
    if (kind == PathKind::directory) {
        error.message = "is a directory";
        return false;
    }
    if (kind != PathKind::missing && !force_) {
        error.message = "already exists (use --force to replace it)";
        return false;
    }
    // Written under a hidden name beside the final one, renamed at commit.
    file.stream = create_unique_file(path_of(".") + name, file.temporary_path);
    if (file.stream == nullptr) {
        error.message = system_error("cannot create");
        return false;
    }
    file.active = true;
    return true;
}

bool Extractor::write(Pending& file, const std::uint8_t* bytes, size_t size, CheckError& error) {
    if (size != 0 && std::fwrite(bytes, 1, size, file.stream) != size) {
        error = CheckError{status_error, file.final_path, std::nullopt, system_error("write failed")};
        return false;
    }
    file.size += size;
    return true;
}

bool Extractor::begin(const CheckSummary& summary, CheckError& error) {
    const PathKind kind = path_kind(dir_);
    if (kind == PathKind::missing) {
        if (errno != ENOENT || !make_directory(dir_)) {
            error = CheckError{status_error, dir_, std::nullopt, system_error("cannot create directory")};
            return false;
        }
        created_dir_ = true;
    } else if (kind != PathKind::directory) {
        error = CheckError{status_error, dir_, std::nullopt, "is not a directory"};
        return false;
    }

    if (!create(image_, image_file_name, error)) return false;
    if (!summary.has_splash) return true;
    splash_empty_ = summary.width == 0 || summary.height == 0;
    if (!splash_empty_) {
        if (!create(bitmap_, bitmap_file_name, error)) return false;
        const auto header = bitmap_header(summary.width, summary.height);
        if (!write(bitmap_, header.data(), header.size(), error)) return false;
        row_padding_ = bitmap_row_stride(summary.width) - 2u * std::uint32_t(summary.width);
    }
    return create(raw_, raw_pixels_file_name, error);
}

bool Extractor::block(const ContainerBlock& block, CheckError& error) {
    return write(image_, block.bytes, block.size, error);
}

bool Extractor::splash_row(const std::uint8_t* row, std::uint32_t size, CheckError& error) {
    // The stored rows come bottom row first, which is the order of a bitmap
    // with a positive height, so each row goes out as it comes.
    static constexpr std::uint8_t padding[3] = {0, 0, 0};
    return write(raw_, row, size, error) && write(bitmap_, row, size, error) &&
           write(bitmap_, padding, row_padding_, error);
}

bool Extractor::end(const CheckSummary&, CheckError& error) {
    for (Pending* file : {&image_, &bitmap_, &raw_}) {
        if (file->stream == nullptr) continue;
        const bool flushed = flush_to_disk(file->stream);
        const int saved_errno = errno;
        const bool closed = std::fclose(file->stream) == 0;
        file->stream = nullptr;
        if (!flushed || !closed) {
            if (!flushed) errno = saved_errno;
            error = CheckError{status_error, file->final_path, std::nullopt, system_error("write failed")};
            return false;
        }
    }
    return true;
}

bool Extractor::commit(CheckError& error) {
    for (Pending* file : {&image_, &bitmap_, &raw_}) {
        if (!file->active) continue;
        if (!replace_file(file->temporary_path, file->final_path)) {
            error = CheckError{status_error, file->final_path, std::nullopt, system_error("cannot rename")};
            return false;
        }
        file->active = false;
        committed_.push_back({file->final_path, file->size});
    }
    return true;
}

}  // namespace romfold::check
