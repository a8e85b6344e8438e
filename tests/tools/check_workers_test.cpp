// romfold-check with several workers decoding: on containers made for it
// (many blocks, stored and compressed mixed, tiny records, a single block,
// faults in the first, a middle and the last record, two faults at once),
// every run prints, reports and leaves exactly what one worker's run does,
// and ROMFOLD_THREADS is checked before any file is opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/compressed_blocks.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"
#include "tests/tools/run_check.h"

namespace romfold::test {
namespace {

// A container built record by record, with where each record lies.
struct Built {
    std::string kinds;  // as given to build
    Bytes file;
    Bytes image;
    std::vector<size_t> record_at;  // each record's block word
    std::vector<size_t> data_at;    // each record's data
};

// One record per letter: 's' a stored block of random bytes, 'c' a
// compressed block, 't' a tiny one (a 12-byte record of one repeated byte).
// Every block's bytes differ from the others', so that a block delivered out
// of order shows. The last block holds 777 bytes unless it is tiny.
Built build(const std::string& kinds) {
    Built built;
    built.kinds = kinds;
    std::vector<Bytes> blocks;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const bool last = i + 1 == kinds.size();
        const std::uint32_t size = last && kinds[i] != 't' ? 777 : 65536;
        const auto seed = static_cast<std::uint32_t>(i + 1);
        Bytes block;
        if (kinds[i] == 't') {
            block = Bytes(size, static_cast<std::uint8_t>('A' + i % 50));
        } else if (kinds[i] == 'c') {
            const Bytes pattern = random_bytes(size / 16 + 1, seed);
            while (block.size() < size) block.insert(block.end(), pattern.begin(), pattern.end());
            block.resize(size);
        } else {
            block = random_bytes(size, seed);
        }
        built.image.insert(built.image.end(), block.begin(), block.end());
        blocks.push_back(block);
    }
    ContainerBuilder container(static_cast<std::uint32_t>(built.image.size()));
    for (size_t i = 0; i < blocks.size(); ++i) {
        const bool last = i + 1 == blocks.size();
        built.record_at.push_back(container.bytes().size());
        built.data_at.push_back(container.bytes().size() + (last ? 8 : 4));
        if (kinds[i] == 's') {
            container.stored_block(blocks[i], last);
        } else if (kinds[i] == 't') {
            // One literal and a match of offset 1 for the rest.
            const Bytes tiny = {0xFF, 0xFF, 0xFF, 0x7F, blocks[i][0], 0x07, 0x00, 0x0F, 0xFF, 0xFC, 0xFF};
            container.compressed_block(tiny, 65536, last);
        } else {
            container.compressed_block(compressed(blocks[i]), static_cast<std::uint32_t>(blocks[i].size()), last);
        }
    }
    built.file = container.bytes();
    return built;
}

// Damage planted in a built container.
void break_block(Built& built, size_t record) {
    // An all-ones flag word: the first item is a match, before the block's start.
    EXPECT_NE(built.kinds[record], 's') << "a stored block has no flag word";
    store_le32(built.file, built.data_at[record], 0xFFFFFFFF);
}
void mark_last(Built& built, size_t record) { built.file[built.record_at[record] + 3] ^= 0x40; }

struct WorkerRun {
    ProgramResult result;
    std::map<std::string, Bytes> files;  // the directory afterwards, extracted files included
};

WorkerRun run_with(const std::string& threads, const std::map<std::string, Bytes>& inputs,
                   const std::vector<std::string>& args) {
    ScratchDir dir;
    for (const auto& [name, bytes] : inputs) dir.write(name, bytes);
    WorkerRun run;
    run.result = run_program(ROMFOLD_CHECK_BIN, args, dir.path(), {"ROMFOLD_THREADS=" + threads});
    run.files = dir.entries();
    return run;
}

// The message of break_block's fault, as romfold-check prints it for "f".
std::string block_fault(const Built& built, size_t record) {
    return "romfold-check: f: offset " + std::to_string(built.data_at[record] + 4) + ": block " +
           std::to_string(record) + ": match offset before start of block\n";
}

std::string hex_byte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

struct Case {
    std::string name;
    std::map<std::string, Bytes> inputs;  // "f" is checked, "ref" the reference image
    std::vector<std::string> args;
    int status;
    std::string err;
};

std::vector<Case> worker_cases() {
    const std::vector<std::string> list_compare_extract = {"-v", "-c", "ref", "-x", ".", "f"};
    std::vector<Case> cases;
    {
        const Built b = build("scstsccts");
        cases.push_back(
            {"stored and compressed mixed", {{"f", b.file}, {"ref", b.image}}, list_compare_extract, 0, ""});
    }
    {
        const Built b = build(std::string(150, 't'));
        cases.push_back({"many tiny records in a packed image with a splash screen",
                         {{"f", packed_image(b.file, 3, 2, random_bytes(12, 7))}, {"ref", b.image}},
                         list_compare_extract,
                         0,
                         ""});
    }
    {
        const Built b = build("c");
        cases.push_back({"one block", {{"f", b.file}, {"ref", b.image}}, list_compare_extract, 0, ""});
    }
    {
        Built b = build("ccscc");
        break_block(b, 0);
        cases.push_back({"a block fault in the first record", {{"f", b.file}}, {"-v", "f"}, 1, block_fault(b, 0)});
    }
    {
        Built b = build("cctcscctc");
        break_block(b, 3);
        mark_last(b, 6);
        cases.push_back({"a block fault in a middle record before a record fault after it",
                         {{"f", b.file}},
                         {"-v", "f"},
                         1,
                         block_fault(b, 3)});
    }
    {
        Built b = build("ctcscttcs");
        mark_last(b, 5);
        cases.push_back({"a record fault after good blocks",
                         {{"f", b.file}},
                         {"-v", "f"},
                         1,
                         "romfold-check: f: offset " + std::to_string(b.record_at[5]) +
                             ": block 5: marked last, but the total size needs 9 blocks\n"});
    }
    {
        Built b = build("cscttct");
        b.file[b.data_at[6] + 11] = 1;
        cases.push_back(
            {"the last record's padding",
             {{"f", b.file}},
             {"-v", "f"},
             1,
             "romfold-check: f: offset " + std::to_string(b.data_at[6] + 11) + ": block 6: padding not zero\n"});
    }
    {
        Built b = build("ccttcc");
        break_block(b, 3);
        b.file[b.data_at[3] + 11] = 1;
        cases.push_back(
            {"a corrupt block before its own bad padding", {{"f", b.file}}, {"-v", "f"}, 1, block_fault(b, 3)});
    }
    {
        Built b = build("ccsctcccc");
        b.file.resize(b.data_at[5] + 5);
        cases.push_back({"data cut off in a middle record",
                         {{"f", b.file}},
                         {"-v", "f"},
                         1,
                         "romfold-check: f: offset " + std::to_string(b.data_at[5]) + ": block 5: data cut off\n"});
    }
    {
        Built b = build("cccscccc");
        break_block(b, 5);
        const size_t at = 2 * 65536 + 100;
        const std::uint8_t decoded = b.image[at];
        b.image[at] ^= 1;
        cases.push_back({"a difference from the reference before a later block fault",
                         {{"f", b.file}, {"ref", b.image}},
                         {"-c", "ref", "f"},
                         1,
                         "romfold-check: ref: offset " + std::to_string(at) + ": differs from the decoded image: " +
                             hex_byte(b.image[at]) + " here, " + hex_byte(decoded) + " decoded\n"});
    }
    {
        Built b = build("cccscccc");
        break_block(b, 2);
        b.image[5 * 65536 + 100] ^= 1;
        cases.push_back({"a block fault before a later difference from the reference",
                         {{"f", b.file}, {"ref", b.image}},
                         {"-c", "ref", "f"},
                         1,
                         block_fault(b, 2)});
    }
    {
        Built b = build("ctctctct");
        break_block(b, 6);
        const std::string total = std::to_string(b.image.size());
        b.image.resize(3 * 65536 + 5);
        cases.push_back({"a reference that ends before a later block fault",
                         {{"f", b.file}, {"ref", b.image}},
                         {"-c", "ref", "f"},
                         1,
                         "romfold-check: ref: offset 196613: file of 196613 bytes ends here, but the decoded image "
                         "has " +
                             total + " bytes\n"});
    }
    {
        Built b = build("cscscscs");
        break_block(b, 6);
        cases.push_back({"an extraction stopped by a fault leaves nothing",
                         {{"f", b.file}},
                         {"-x", ".", "f"},
                         1,
                         block_fault(b, 6)});
    }
    return cases;
}

TEST(CheckWorkers, EveryCountGivesOneWorkersOutputFaultAndFiles) {
    for (const Case& c : worker_cases()) {
        SCOPED_TRACE(c.name);
        const WorkerRun alone = run_with("1", c.inputs, c.args);
        EXPECT_EQ(alone.result.err, c.err);
        EXPECT_EQ(alone.result.status, c.status);
        if (c.status != 0) {
            EXPECT_TRUE(alone.files == c.inputs) << "a file was left";
        }
        // Several workers, more workers than blocks, and one per CPU.
        for (const std::string threads : {"2", "3", "64", ""}) {
            SCOPED_TRACE("ROMFOLD_THREADS=" + threads);
            const WorkerRun run = run_with(threads, c.inputs, c.args);
            EXPECT_EQ(run.result.out, alone.result.out);
            EXPECT_EQ(run.result.err, alone.result.err);
            EXPECT_EQ(run.result.status, alone.result.status);
            EXPECT_TRUE(run.files == alone.files) << "the files differ from one worker's";
        }
    }
}

TEST(CheckWorkers, ValueThatIsNotACountIsAUsageError) {
    const Built built = build("cc");
    for (const std::string threads : {"abc", "4x", "-1", " 2", "1025", "99999999999999999999"}) {
        SCOPED_TRACE("ROMFOLD_THREADS=" + threads);
        // Neither the file nor the reference is opened, and no directory made.
        const WorkerRun run = run_with(threads, {{"f", built.file}}, {"-c", "missing", "-x", "out", "f"});
        EXPECT_EQ(run.result.out, "");
        EXPECT_EQ(run.result.err, "romfold-check: ROMFOLD_THREADS=" + threads +
                                      " is not a worker count: give 1 to 1024, or 0 for one per CPU.\n");
        EXPECT_EQ(run.result.status, 2);
        EXPECT_EQ(run.files.size(), 1u);
    }
}

}  // namespace
}  // namespace romfold::test
