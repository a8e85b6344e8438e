#include "tools/check_listing.h"

#include <cinttypes>

namespace romfold::check {

namespace {

std::string count_of(std::uint64_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace

std::string percentage(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", double(part) * 100.0 / double(whole));
    return text;
}

bool BlockTable::begin(const CheckSummary&, CheckError&) {
    std::fprintf(out_, "%5s  %10s  %-10s  %9s  %10s  %7s\n", "block", "offset", "kind", "data size", "image size",
                 "ratio");
    return true;
}

bool BlockTable::block(const ContainerBlock& block, CheckError&) {
    std::fprintf(out_, "%5" PRIu32 "  %10" PRIu64 "  %-10s  %9" PRIu32 "  %10" PRIu32 "  %7s\n", block.index,
                 block.record_offset, block.stored ? "stored" : "compressed", block.data_size, block.size,
                 percentage(block.data_size, block.size).c_str());
    return true;
}

std::string format_summary(const std::string& path, const CheckSummary& summary) {
    const bool packed = summary.kind == FileKind::packed_image;
    std::string text = path + ": valid " + (packed ? "packed image" : "block container") + " of " +
                       count_of(summary.file_size, "byte", "bytes") + "\n";
    text += "  image   " + count_of(summary.image_size, "byte", "bytes") + " in " +
            count_of(summary.blocks, "block", "blocks") + " (" + std::to_string(summary.compressed_blocks) +
            " compressed, " + std::to_string(summary.stored_blocks) + " stored)\n";
    text += "  stream  " + count_of(summary.stream_size, "byte", "bytes");
    if (summary.image_size != 0) {
        // The gain as romfold prints it for the same container: 1 - stream / image.
        char gain[32];
        std::snprintf(gain, sizeof gain, "%.2f%%",
                      (1.0 - double(summary.stream_size) / double(summary.image_size)) * 100.0);
        text += ", " + percentage(summary.stream_size, summary.image_size) + " of the image, gain " + gain;
    }
    text += "\n";
    if (packed) {
        if (summary.has_splash) {
            text += "  splash  " + std::to_string(summary.width) + "x" + std::to_string(summary.height) + " pixels, " +
                    count_of(summary.splash_size, "byte", "bytes") + "\n";
        } else {
            text += "  splash  none\n";
        }
    }
    return text;
}

}  // namespace romfold::check
