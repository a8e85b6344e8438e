// Every stream call of a whole run, made to fail in turn.
//
// A plain run of romfold_fault lists the calls that packing a release
// directory makes (two segments, a stored and a compressed block, a splash
// screen whose pixels take two chunks). Then each call is failed on its own,
// and each read and write is also cut one byte short, and every run must keep
// the promises that hold whatever fails:
//   - the status is 0 or 255, and standard error stays empty;
//   - no stream is left open at exit;
//   - the input files are unchanged, nothing is deleted, and nothing appears
//     but nk.tmp, nbx.tmp and nk.nbx;
//   - a failure ends with a pipeline message that names a file of the
//     directory, never with the success line;
//   - a success leaves nk.nbx, nk.tmp and nbx.tmp exactly as a run without a
//     fault leaves them (or, where the splash screen could not be opened,
//     an image without splash block).
// Which faults a run survives is a table of its own: only those that lose
// nothing. The sweep runs with one worker and with several compressing the
// blocks, and every fault must end the same way with both: the same status,
// output and files, as the one-worker run is the contract.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/pipeline_cases.h"
#include "tests/support/run_program.h"

namespace romfold::test {
namespace {

struct FaultedRun {
    ProgramResult result;  // "{dir}" in place of the scratch directory
    FaultLog log;
    Files after;
};

// Text-like bytes that compress, so that the second block is compressed.
Bytes text_bytes(std::size_t size) {
    static const std::string words[] = {"segment ",  "kernel ", "loader ", "0x80200000 ",
                                        "table\r\n", "boot ",   "image "};
    std::string text;
    for (std::uint32_t n = 1; text.size() < size; n = n * 1103515245u + 12345u) {
        text += words[(n >> 16) % 7];
    }
    text.resize(size);
    return bytes_of(text);
}

constexpr std::uint32_t image_length = 65536 + 20000;

Files sweep_release() {
    Files files{{"nk.bin", kernel_image(image_length)},
                {"nk.nb0", segment(0, 65536)},  // random: a stored block
                {"nk.nb1", text_bytes(20000 + 100)},
                {"splash.tss", splash_file(200, 200)}};  // 80000 pixel bytes: two chunks
    return files;
}

// More workers than the fixture has blocks: the count is capped at two.
const std::vector<std::string> worker_counts = {"1", "3"};

FaultedRun run_with(const Files& before, const std::string& fault, const std::string& workers) {
    ScratchDir dir;
    for (const auto& [name, bytes] : before) {
        dir.write(name, bytes);
    }
    const ScratchDir logs;  // outside the release directory, so that the run's files stay its own
    std::vector<std::string> env{"ROMFOLD_FAULT_LOG=" + logs.file("calls"), "ROMFOLD_THREADS=" + workers};
    if (!fault.empty()) {
        env.push_back("ROMFOLD_FAULT=" + fault);
    }
    FaultedRun run;
    run.result = run_program(ROMFOLD_FAULT_BIN, {dir.path()}, dir.path(), env);
    run.after = dir.entries();
    run.log = read_fault_log(logs.file("calls"));
    // Output names the scratch directory; make it comparable between runs.
    run.result.out = replace_all(run.result.out, dir.path(), "{dir}");
    return run;
}

// "read nk.nb0 65536" -> op "read", file "nk.nb0", size 65536.
struct Call {
    std::string op;
    std::string file;
    std::size_t size = 0;
};

Call parse_call(const std::string& entry) {
    std::istringstream words(entry);
    Call call;
    words >> call.op >> call.file;
    if (call.op == "read" || call.op == "write") {
        words >> call.size;
    }
    return call;
}

// The faults of the sweep: "op:file:nth" for every call, and for every read
// or write of two or more bytes "op:file:nth:size-1" as well.
std::vector<std::string> faults_for(const std::vector<std::string>& calls) {
    std::map<std::string, unsigned> seen;
    std::vector<std::string> faults;
    for (const std::string& entry : calls) {
        const Call call = parse_call(entry);
        const std::string key = call.op + ":" + call.file;
        const std::string fault = key + ":" + std::to_string(++seen[key]);
        faults.push_back(fault);
        if ((call.op == "read" || call.op == "write") && call.size >= 2) {
            faults.push_back(fault + ":" + std::to_string(call.size - 1));
        }
    }
    return faults;
}

// The calls made on each file, in order: reading ahead changes how the calls
// on different files interleave, never the sequence on one file.
std::map<std::string, std::vector<std::string>> calls_per_file(const std::vector<std::string>& calls) {
    std::map<std::string, std::vector<std::string>> per_file;
    for (const std::string& entry : calls) per_file[parse_call(entry).file].push_back(entry);
    return per_file;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string last_line(const std::string& out) {
    const std::size_t end = out.size() >= 2 ? out.rfind('\n', out.size() - 2) : std::string::npos;
    return end == std::string::npos ? out : out.substr(end + 1);
}

// Runs one fault with one worker count and checks the promises.
FaultedRun check_faulted_run(const Files& before, const FaultedRun& plain, const std::string& fault,
                             const std::string& workers, std::set<std::string>& survived) {
    FaultedRun run = run_with(before, fault, workers);
    EXPECT_EQ(run.result.err, "");
    EXPECT_EQ(run.log.open_at_exit, "0") << "streams left open";
    for (const auto& [name, bytes] : before) {
        const auto found = run.after.find(name);
        if (found == run.after.end()) {
            ADD_FAILURE() << name << " was deleted";
            continue;
        }
        EXPECT_TRUE(found->second == bytes) << name << " was changed";
    }
    for (const auto& entry : run.after) {
        EXPECT_TRUE(before.count(entry.first) == 1 || entry.first == "nk.tmp" || entry.first == "nbx.tmp" ||
                    entry.first == "nk.nbx")
            << entry.first << " appeared";
    }
    if (run.result.status == 0) {
        survived.insert(fault);
        EXPECT_TRUE(ends_with(run.result.out, native("Image file {dir}/nk.nbx generated successfully")));
        if (fault == "open:splash.tss:1") {
            EXPECT_NE(run.result.out.find(native("Splash screen {dir}/splash.tss not available.\r\n")),
                      std::string::npos);
            EXPECT_TRUE(run.after.at("nk.tmp") == plain.after.at("nk.tmp"));
            EXPECT_TRUE(run.after.at("nbx.tmp") == plain.after.at("nbx.tmp"));
            EXPECT_TRUE(run.after.at("nk.nbx") == packed_image(plain.after.at("nbx.tmp")));
        } else {
            EXPECT_EQ(run.result.out, plain.result.out);
            EXPECT_TRUE(run.after == plain.after) << "a successful run left other files";
        }
        return run;
    }
    EXPECT_EQ(run.result.status, 255);
    EXPECT_EQ(run.result.out.find("generated successfully"), std::string::npos);
    const std::string line = last_line(run.result.out);
    EXPECT_TRUE(ends_with(line, ".\r\n") && line.find(native("{dir}/")) != std::string::npos)
        << "the run does not end with a message naming a file: " << line;
    return run;
}

TEST(FaultSweep, EveryFailedCallKeepsThePromises) {
    const Files before = sweep_release();
    const FaultedRun plain = run_with(before, "", "1");
    ASSERT_EQ(plain.result.status, 0) << plain.result.out;
    ASSERT_EQ(plain.log.open_at_exit, "0");
    const std::vector<std::string> faults = faults_for(plain.log.calls);
    ASSERT_GT(faults.size(), 40u) << "the fixture should make every stage's calls";
    for (const std::string& workers : worker_counts) {
        SCOPED_TRACE("workers " + workers);
        const FaultedRun parallel = run_with(before, "", workers);
        EXPECT_EQ(parallel.result.out, plain.result.out);
        EXPECT_TRUE(parallel.after == plain.after);
        EXPECT_EQ(calls_per_file(parallel.log.calls), calls_per_file(plain.log.calls));
    }

    // The faults a run survives without losing anything: closes of files that
    // were only read, a splash screen that cannot be opened (packed without
    // it), and a read of nk.tmp that delivers one byte less than asked, since
    // the compressor reads on until its block is full. The second close of
    // nk.tmp and of nbx.tmp is on the stream that reads it back.
    const std::set<std::string> survivable = {
        "close:nk.bin:1",     "close:nk.nb0:1",    "close:nk.nb1:1",      "close:nk.tmp:2",      "close:nbx.tmp:2",
        "close:splash.tss:1", "open:splash.tss:1", "read:nk.tmp:1:65535", "read:nk.tmp:2:19999",
    };
    std::map<std::string, std::set<std::string>> survived;
    for (const std::string& fault : faults) {
        SCOPED_TRACE("fault " + fault);
        const FaultedRun alone = check_faulted_run(before, plain, fault, "1", survived["1"]);
        for (const std::string& workers : worker_counts) {
            if (workers == "1") continue;
            SCOPED_TRACE("workers " + workers);
            const FaultedRun run = check_faulted_run(before, plain, fault, workers, survived[workers]);
            EXPECT_EQ(run.result.out, alone.result.out);
            EXPECT_EQ(run.result.status, alone.result.status);
            EXPECT_TRUE(run.after == alone.after) << "the files differ from one worker's";
        }
    }
    for (const std::string& workers : worker_counts) EXPECT_EQ(survived[workers], survivable) << "workers " << workers;
}

}  // namespace
}  // namespace romfold::test
