// The rows of the end-to-end tables and what they are built from: release
// directories, the files a run must leave, and the runner that checks one row
// through the built binary.
//
// Each row gives the files before the run, the arguments, the exact console
// output, the exact exit status (-1 is 255) and the files created by the run;
// the files that were there before must be left byte for byte as they were.
// Rows with a fault run romfold_fault, the same pipeline over a file layer
// that makes one chosen call fail.
//
// After every successful run nk.nbx is read back with the strict decoder: its
// image must be nk.tmp byte for byte, its stream nbx.tmp, and its splash
// block the splash screen's dimensions and first 2*W*H pixel bytes.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/splash_file.h"

namespace romfold::test {

using Files = std::map<std::string, Bytes>;

// Entries that are not plain files, written as ScratchDir::entries() shows them.
Bytes link_to(const std::string& target);
extern const Bytes a_directory;

// Expected bytes that a row cannot state in advance (a compressed image),
// checked after the run: an nbx.tmp must decode to the run's nk.tmp; an
// nk.nbx must unpack to it, as after every successful run.
extern const Bytes decodes_to_image;

// In an expected output, stands for the three statistics lines of the run,
// computed from the sizes of its nk.tmp and nbx.tmp.
extern const std::string run_statistics;

extern const std::string usage;
extern const std::string fopen_failed;

// Runs romfold_fault with its fault layer in place but no fault planted.
extern const std::string no_fault;

// The header of nk.bin followed by a few records the tool never reads.
Bytes kernel_image(std::uint32_t length, std::uint32_t base = 0x80200000u, const std::string& signature = "B000FF\n");

Bytes cut(Bytes bytes, std::size_t size);

Bytes segment(int number, std::size_t size);
std::string segment_name(int number);

// nk.bin for `length` and the segments of the given sizes.
Files release(std::uint32_t length, const std::vector<std::size_t>& sizes);

// The first `length` bytes of the segments nk.nb0, nk.nb1, ... of `files`.
Bytes merged(const Files& files, std::size_t length);

// A splash screen of W x H pixels with exactly its 2*W*H random pixel bytes
// and `extra` bytes after them.
Bytes splash_file(std::int32_t width, std::int32_t height, std::size_t extra = 0);

// The three statistics lines for an input and an output size.
std::string statistics(std::uint32_t input_size, std::uint32_t output_size);

// Console lines of the stages; `dir` is "{dir}" unless a row passes another argument.
std::string image_line(std::int32_t length, const std::string& dir = "{dir}");
std::string merging(int number, const std::string& dir = "{dir}");
std::string merging_up_to(int last, const std::string& dir = "{dir}");
std::string no_splash(const std::string& dir = "{dir}");
std::string splash_line(std::int32_t width, std::int32_t height, const std::string& dir = "{dir}");
std::string success(const std::string& dir = "{dir}");

struct Case {
    std::string name;
    Files before;
    std::vector<std::string> args;  // "{dir}" stands for the scratch directory
    std::string fault;              // empty runs romfold; otherwise romfold_fault with this ROMFOLD_FAULT
    std::string out;                // "{dir}" likewise
    int status;
    Files created;  // entries that exist after the run and did not before
};

// Every `marker` in text replaced by `by` (used for "{dir}").
std::string replace_all(std::string text, const std::string& marker, const std::string& by);

// Failure messages name the row instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* os);

// What romfold_fault wrote to the file named by ROMFOLD_FAULT_LOG: every
// stream call of the run, and the number of streams still open at exit.
struct FaultLog {
    std::vector<std::string> calls;
    std::string open_at_exit;
};
FaultLog read_fault_log(const std::string& path);

// Runs the row and checks output, status and files; a row with a fault also
// must leave no stream open.
void check_run(const Case& c);

}  // namespace romfold::test
