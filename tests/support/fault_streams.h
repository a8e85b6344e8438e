// A stream table for tests: it passes every call to the standard streams,
// records what happened to which file, and can make one chosen call fail.
//
// A fault is written "op:name:nth[:keep]": op is one of open, read, write,
// seek, tell, error, flush, close; name is the file name without its
// directory (nk.nb0); the nth call of that op on files of that name fails
// (counted from 1 over the whole run). For read and write, keep bytes still
// get through (a short transfer); the default is 0. A failing close still
// releases the stream, as a close that meets a full disk does.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace romfold::test {

enum class FaultOp { open, read, write, seek, tell, error, flush, close };

struct Fault {
    FaultOp op = FaultOp::open;
    std::string file;
    unsigned nth = 1;
    std::size_t keep = 0;
};

// Parses "op:name:nth[:keep]"; nullopt when the text is malformed.
std::optional<Fault> parse_fault(const std::string& text);

// Installs the recording table, with the fault if one is given, and clears the log.
void install_fault_streams(const std::optional<Fault>& fault);

// Restores the standard streams.
void remove_fault_streams();

// One entry per call since installation, e.g. "open nk.bin rb", "read nk.nb0 65536",
// "write nk.tmp 1", "flush nk.tmp", "close nk.tmp"; a call made to fail ends in " !".
const std::vector<std::string>& stream_log();

// The log restricted to the given ops (entries starting with one of the names).
std::vector<std::string> stream_log_of(const std::vector<std::string>& ops);

// Streams opened through the table and not yet closed.
std::size_t open_stream_count();

// Installs on construction, restores on destruction.
class ScopedFaultStreams {
public:
    explicit ScopedFaultStreams(const std::optional<Fault>& fault = std::nullopt) { install_fault_streams(fault); }
    ~ScopedFaultStreams() { remove_fault_streams(); }
    ScopedFaultStreams(const ScopedFaultStreams&) = delete;
    ScopedFaultStreams& operator=(const ScopedFaultStreams&) = delete;
};

}  // namespace romfold::test
