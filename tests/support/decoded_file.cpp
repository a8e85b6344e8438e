#include "tests/support/decoded_file.h"

#include <romfold/fold_decoder.h>

#include "tests/support/scratch_dir.h"

namespace romfold::test {

namespace {

DecodedFile decode_file(const std::string& path, std::uint32_t kind) {
    DecodedFile decoded;
    const Bytes bytes = read_file(path);
    FoldImageInfo info{};
    FoldFault fault{};
    FoldError error = FoldDecodeImage(bytes.data(), bytes.size(), nullptr, 0, kind, &info, &fault);
    if (error == FOLD_BUFFER_TOO_SMALL) {
        decoded.image.resize(info.image_size);
        error = FoldDecodeImage(bytes.data(), bytes.size(), decoded.image.data(), decoded.image.size(), kind, &info,
                                &fault);
    }
    if (error != FOLD_OK) {
        decoded.message = "fault " + std::to_string(int(error)) + " at offset " + std::to_string(fault.offset);
        decoded.image.clear();
        return decoded;
    }
    decoded.ok = true;
    decoded.stream.assign(bytes.begin() + std::ptrdiff_t(info.stream_at),
                          bytes.begin() + std::ptrdiff_t(info.stream_at + info.stream_size));
    decoded.has_splash = info.splash_size != 0;
    decoded.width = info.width;
    decoded.height = info.height;
    if (decoded.has_splash) decoded.pixels.assign(bytes.begin() + std::ptrdiff_t(info.pixels_at), bytes.end());
    return decoded;
}

}  // namespace

DecodedFile decode_container_file(const std::string& path) { return decode_file(path, FOLD_CONTAINER); }

DecodedFile decode_packed_image_file(const std::string& path) { return decode_file(path, FOLD_PACKED_IMAGE); }

}  // namespace romfold::test
