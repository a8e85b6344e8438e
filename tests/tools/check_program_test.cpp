// romfold-check run as a program on images that the real packer made from
// the sample release, intact and with one planted fault each.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/tools/run_check.h"

namespace romfold::test {
namespace {

// Layout of the sample's nk.nbx, as the packer writes it: the container at
// 16, block 0's word at 24 and its 36353 data bytes at 28 followed by 3 bytes
// of padding, block 1's word at 36384, its size word at 36388 and its 12716
// data bytes at 36392; the splash block at 49108, its width at 49112, its
// height at 49116 and its pixels at 49120.
constexpr size_t block0_word = 24;
constexpr size_t block0_data = 28;
constexpr size_t block0_padding = 28 + 36353;
constexpr size_t block1_word = 36384;
constexpr size_t splash_at = 49108;

const std::string summary_with_splash =
    "nk.nbx: valid packed image of 55264 bytes\n"
    "  image   88000 bytes in 2 blocks (2 compressed, 0 stored)\n"
    "  stream  49092 bytes, 55.79% of the image, gain 44.21%\n"
    "  splash  64x48 pixels, 6156 bytes\n";

// The sample packed once with its splash screen and once without, shared by
// all tests of this file; the tests change only copies.
struct PackedSample {
    ScratchDir dir;
    std::string with_splash = pack_sample(dir, "with_splash", true);
    std::string without_splash = pack_sample(dir, "without_splash", false);
};

const PackedSample& sample() {
    static const PackedSample packed;
    return packed;
}

Bytes sample_file(const std::string& name) { return read_file(sample().with_splash + "/" + name); }

TEST(CheckValid, SummaryOfEachKindOfFile) {
    ScratchDir dir;
    // Hand-made containers: a stored block, and an empty image.
    Bytes stored = {'X', 'P', 'R', 'S', 5, 0, 0, 0, 5, 0, 0, 0xC0, 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'};
    dir.write("stored.tmp", stored);
    dir.write("empty.tmp", Bytes{'X', 'P', 'R', 'S', 0, 0, 0, 0});

    struct Case {
        const char* name;
        std::string cwd;
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {"packed image with splash", sample().with_splash, {"nk.nbx"}, summary_with_splash},
        {"packed image without splash",
         sample().without_splash,
         {"nk.nbx"},
         "nk.nbx: valid packed image of 49108 bytes\n"
         "  image   88000 bytes in 2 blocks (2 compressed, 0 stored)\n"
         "  stream  49092 bytes, 55.79% of the image, gain 44.21%\n"
         "  splash  none\n"},
        {"bare container",
         sample().with_splash,
         {"nbx.tmp"},
         "nbx.tmp: valid block container of 49092 bytes\n"
         "  image   88000 bytes in 2 blocks (2 compressed, 0 stored)\n"
         "  stream  49092 bytes, 55.79% of the image, gain 44.21%\n"},
        {"block table of a packed image",
         sample().with_splash,
         {"-v", "nk.nbx"},
         "block      offset  kind        data size  image size    ratio\n"
         "    0          24  compressed      36353       65536   55.47%\n"
         "    1       36384  compressed      12716       22464   56.61%\n" +
             summary_with_splash},
        {"block table of a bare container",
         sample().with_splash,
         {"--verbose", "nbx.tmp"},
         "block      offset  kind        data size  image size    ratio\n"
         "    0           8  compressed      36353       65536   55.47%\n"
         "    1       36368  compressed      12716       22464   56.61%\n"
         "nbx.tmp: valid block container of 49092 bytes\n"
         "  image   88000 bytes in 2 blocks (2 compressed, 0 stored)\n"
         "  stream  49092 bytes, 55.79% of the image, gain 44.21%\n"},
        {"a stored block",
         dir.path(),
         {"-v", "stored.tmp"},
         "block      offset  kind        data size  image size    ratio\n"
         "    0           8  stored              5           5  100.00%\n"
         "stored.tmp: valid block container of 21 bytes\n"
         "  image   5 bytes in 1 block (0 compressed, 1 stored)\n"
         "  stream  21 bytes, 420.00% of the image, gain -320.00%\n"},
        {"an empty image",
         dir.path(),
         {"-v", "empty.tmp"},
         "block      offset  kind        data size  image size    ratio\n"
         "empty.tmp: valid block container of 8 bytes\n"
         "  image   0 bytes in 0 blocks (0 compressed, 0 stored)\n"
         "  stream  8 bytes\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramResult result = run_check(c.args, c.cwd);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.status, 0);
    }
}

// Offset of the first match token in block 0: the items before it are
// literals of one byte each, all in the first group.
size_t first_match_token(const Bytes& image) {
    const std::uint32_t flags = load_le32(image, block0_data);
    for (size_t item = 0; item < 32; ++item) {
        if ((flags >> (31 - item)) & 1) return block0_data + 4 + item;
    }
    ADD_FAILURE() << "no match in the first group of block 0";
    return 0;
}

TEST(CheckDamage, EachFaultIsNamedWithItsOffset) {
    const Bytes good_image = sample_file("nk.nbx");
    const Bytes good_container = sample_file("nbx.tmp");
    const size_t token_at = first_match_token(good_image);

    struct Case {
        const char* name;
        bool container;  // damage nbx.tmp instead of nk.nbx
        std::function<void(Bytes&)> damage;
        std::string err;
    };
    const std::string image = "romfold-check: nk.nbx: ";
    const std::string container = "romfold-check: nbx.tmp: ";
    const Case cases[] = {
        {"packed image cut by one byte", false, [](Bytes& b) { b.pop_back(); },
         image + "offset 8: header sizes add up to 55264 bytes, but the file has 55263\n"},
        {"container cut inside block 1", true, [](Bytes& b) { b.resize(40000); },
         container + "offset 36376: block 1: data cut off\n"},
        {"too short for a magic", false, [](Bytes& b) { b.resize(3); },
         image + "offset 0: file of 3 bytes is too short to hold a magic\n"},
        {"flipped bit in the magic", false, [](Bytes& b) { b[0] ^= 0x02; },
         image + "offset 0: unknown magic 4B 4F 52 57: neither a packed image (IORW) nor a block "
                 "container (XPRS)\n"},
        {"flipped bit in the header size", false, [](Bytes& b) { b[4] ^= 0x01; },
         image + "offset 4: header size 17 is not 16\n"},
        {"flipped bit in the stream size", false, [](Bytes& b) { b[8] ^= 0x04; },
         image + "offset 8: header sizes add up to 55260 bytes, but the file has 55264\n"},
        {"flipped bit in the container's total size", true, [](Bytes& b) { b[6] ^= 0x10; },
         container + "offset 36368: block 1: marked last, but the total size needs 18 blocks\n"},
        {"flipped stored bit in a block word", false, [](Bytes& b) { b[block0_word + 3] ^= 0x80; },
         image + "offset 24: block 0: stored data size 36353 does not fit a block of 65536 bytes\n"},
        {"flipped last bit in a block word", false, [](Bytes& b) { b[block0_word + 3] ^= 0x40; },
         image + "offset 24: block 0: marked last, but the total size needs 2 blocks\n"},
        {"flipped size bit in a block word", false, [](Bytes& b) { b[block0_word + 1] ^= 0x80; },
         image + "offset 3611: block 0: flag word cut off\n"},
        {"flipped bit in a flag word", false, [](Bytes& b) { b[block0_data + 3] ^= 0x80; },
         image + "offset 32: block 0: match offset before start of block\n"},
        {"flipped bit in a match token", false, [&](Bytes& b) { b[token_at + 1] ^= 0x80; },
         image + "offset " + std::to_string(token_at) + ": block 0: match offset before start of block\n"},
        {"padding not zero", false, [](Bytes& b) { b[block0_padding + 1] = 0x01; },
         image + "offset 36382: block 0: padding not zero\n"},
        {"last block not marked last", false, [](Bytes& b) { b[block1_word + 3] ^= 0x40; },
         image + "offset 36384: block 1: last block not marked last\n"},
        {"missing last block", false,
         [](Bytes& b) {
             b.erase(b.begin() + block1_word, b.begin() + splash_at);
             store_le32(b, 8, std::uint32_t(block1_word - 16));
         },
         image + "offset 36384: block 1: block word cut off\n"},
        {"data after the last block", true, [](Bytes& b) { b.insert(b.end(), 4, 0); },
         container + "offset 49092: data after the last block (4 bytes)\n"},
        {"splash width does not match the block size", false, [](Bytes& b) { store_le32(b, splash_at + 4, 65); },
         image + "offset 12: splash block size 6156 does not match 65x48 pixels\n"},
        {"splash block longer than its pixels", false,
         [](Bytes& b) {
             b.insert(b.end(), 2, 0);
             store_le32(b, 12, 6158);
         },
         image + "offset 12: splash block size 6158 does not match 64x48 pixels\n"},
        {"bad splash marker", false, [](Bytes& b) { b[splash_at + 3] ^= 0x01; },
         image + "offset 49108: bad splash marker\n"},
        {"negative splash height", false, [](Bytes& b) { store_le32(b, splash_at + 8, std::uint32_t(-48)); },
         image + "offset 49112: splash screen of 64x-48 pixels has a negative dimension\n"},
        {"splash too wide", false, [](Bytes& b) { store_le32(b, splash_at + 4, 1921); },
         image + "offset 49112: splash screen of 1921x48 pixels is too big\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string name = c.container ? "nbx.tmp" : "nk.nbx";
        Bytes damaged = c.container ? good_container : good_image;
        c.damage(damaged);
        dir.write(name, damaged);
        const ProgramResult result = run_check({name}, dir.path());
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, 1);
    }
}

TEST(CheckDamage, BlockTableStopsAtTheFault) {
    ScratchDir dir;
    Bytes damaged = sample_file("nk.nbx");
    damaged[block1_word + 3] ^= 0x40;
    dir.write("nk.nbx", damaged);
    const ProgramResult result = run_check({"-v", "nk.nbx"}, dir.path());
    EXPECT_EQ(result.out,
              "block      offset  kind        data size  image size    ratio\n"
              "    0          24  compressed      36353       65536   55.47%\n");
    EXPECT_EQ(result.err, "romfold-check: nk.nbx: offset 36384: block 1: last block not marked last\n");
    EXPECT_EQ(result.status, 1);
}

std::string hex_byte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

TEST(CheckCompare, FindsTheFirstDifference) {
    const Bytes reference = sample_file("nk.tmp");
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"identical", [](Bytes&) {}, 0, summary_with_splash + "  equals  copy.tmp\n", ""},
        {"one byte in block 1 differs", [](Bytes& b) { b[70000] ^= 0x01; }, 1, "",
         "romfold-check: copy.tmp: offset 70000: differs from the decoded image: " + hex_byte(reference[70000] ^ 0x01) +
             " here, " + hex_byte(reference[70000]) + " decoded\n"},
        {"first byte differs", [](Bytes& b) { b[0] ^= 0x80; }, 1, "",
         "romfold-check: copy.tmp: offset 0: differs from the decoded image: " + hex_byte(reference[0] ^ 0x80) +
             " here, " + hex_byte(reference[0]) + " decoded\n"},
        {"one byte short", [](Bytes& b) { b.pop_back(); }, 1, "",
         "romfold-check: copy.tmp: offset 87999: file of 87999 bytes ends here, but the decoded "
         "image has 88000 bytes\n"},
        {"ends inside block 0", [](Bytes& b) { b.resize(100); }, 1, "",
         "romfold-check: copy.tmp: offset 100: file of 100 bytes ends here, but the decoded image "
         "has 88000 bytes\n"},
        {"one byte longer", [](Bytes& b) { b.push_back(0); }, 1, "",
         "romfold-check: copy.tmp: offset 88000: the decoded image ends here, but the file has "
         "88001 bytes\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        Bytes changed = reference;
        c.change(changed);
        dir.write("copy.tmp", changed);
        std::filesystem::copy_file(sample().with_splash + "/nk.nbx", dir.file("nk.nbx"));
        const ProgramResult result = run_check({"--compare", "copy.tmp", "nk.nbx"}, dir.path());
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
    }
}

TEST(CheckCompare, ADamagedImageIsReportedBeforeAnyDifferenceAfterIt) {
    ScratchDir dir;
    Bytes damaged = sample_file("nk.nbx");
    damaged[block0_padding] = 0x01;
    dir.write("nk.nbx", damaged);
    Bytes reference = sample_file("nk.tmp");
    reference[70000] ^= 0x01;
    dir.write("nk.tmp", reference);
    const ProgramResult result = run_check({"-c", "nk.tmp", "nk.nbx"}, dir.path());
    EXPECT_EQ(result.err, "romfold-check: nk.nbx: offset 36381: block 0: padding not zero\n");
    EXPECT_EQ(result.status, 1);
}

TEST(CheckUsage, ErrorsAndInformation) {
    struct Case {
        std::vector<std::string> args;
        int status;
        bool usage_on_stdout;
        std::string out;
        std::string err;
    };
    const std::string try_help = "Try 'romfold-check --help' for more information.\n";
    const std::string version = std::string("romfold-check ") + ROMFOLD_VERSION + "\n";
    const Case cases[] = {
        {{}, 2, false, "", "romfold-check: missing FILE\n" + try_help},
        {{"nk.nbx", "nbx.tmp"}, 2, false, "", "romfold-check: unexpected argument 'nbx.tmp'\n" + try_help},
        {{"--bogus", "nk.nbx"}, 2, false, "", "romfold-check: unknown option '--bogus'\n" + try_help},
        {{"-vz", "nk.nbx"}, 2, false, "", "romfold-check: unknown option '-z'\n" + try_help},
        {{"nk.nbx", "-c"}, 2, false, "", "romfold-check: option '-c' needs an argument\n" + try_help},
        {{"nk.nbx", "--extract"}, 2, false, "", "romfold-check: option '--extract' needs an argument\n" + try_help},
        {{"--verbose=yes", "nk.nbx"}, 2, false, "", "romfold-check: option '--verbose' takes no argument\n" + try_help},
        {{"-c", "a", "--compare=b", "nk.nbx"},
         2,
         false,
         "",
         "romfold-check: option '--compare' given more than once\n" + try_help},
        {{"--compare=", "nk.nbx"},
         2,
         false,
         "",
         "romfold-check: option '--compare' needs a non-empty argument\n" + try_help},
        {{"--help"}, 0, true, "", ""},
        {{"/?"}, 0, true, "", ""},
        {{"-h", "nk.nbx"}, 0, true, "", ""},
        {{"--version"}, 0, false, version, ""},
        {{"-V"}, 0, false, version, ""},
        {{"no_such.nbx"}, 2, false, "", "romfold-check: no_such.nbx: cannot open: No such file or directory\n"},
        {{"."}, 2, false, "", "romfold-check: .: is a directory\n"},
        {{"-c", "no_such.tmp", "nk.nbx"},
         2,
         false,
         "",
         "romfold-check: no_such.tmp: cannot open: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args) joined += " " + arg;
        SCOPED_TRACE("romfold-check" + joined);
        const ProgramResult result = run_check(c.args, sample().with_splash);
        if (c.usage_on_stdout) {
            EXPECT_EQ(result.out.rfind("Usage: romfold-check [OPTION]... FILE\n", 0), 0u);
            EXPECT_NE(result.out.find("  -x, --extract DIR"), std::string::npos);
        } else {
            EXPECT_EQ(result.out, c.out);
        }
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
    }
}

}  // namespace
}  // namespace romfold::test
