// The kernel image stages of a run: the check of the nk.bin header and the
// merge of the raw segments nk.nb0, nk.nb1, ... into the flat image nk.tmp.
// Both print their own messages (after the file helper's line, when a helper
// failed) and return 0 on success or -1 on failure, the process status.
#pragma once

#include <cstdint>
#include <string>

namespace romfold {

inline constexpr char kernel_signature[] = "B000FF\n";  // 7 bytes, no terminator in the file
inline constexpr std::uint32_t kernel_base_address = 0x80200000u;

// Reads the 15-byte header of `kernel_image_path` (signature, base address,
// image length), closes the file, checks the base address and on success
// stores the image length and prints "Image in <path> is <length>bytes".
int check_kernel_image(const std::string& kernel_image_path, std::uint32_t* image_length);

// Creates `merged_image_path` and fills it with exactly `image_length` bytes
// taken from the segments of `directory` in order of their number, 64 KB at
// most at a time through transfer_buffer. A segment longer than needed is cut;
// a shorter one is taken whole and the next number opened.
int merge_segments(const std::string& directory, const std::string& merged_image_path, std::uint32_t image_length);

}  // namespace romfold
