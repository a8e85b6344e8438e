#include "tests/e2e/pipeline_cases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <utility>

#include "tests/support/decoded_file.h"
#include "tests/support/run_program.h"

namespace romfold::test {

Bytes link_to(const std::string& target) { return bytes_of("-> " + target); }
const Bytes a_directory = bytes_of("<dir>");
const Bytes decodes_to_image = bytes_of("<decodes to nk.tmp>");
const Bytes any_bytes = bytes_of("<any bytes>");

Case on_full_disk(Case row, const std::string& name, const std::string& fault) {
#ifdef _WIN32
    row.before.erase(name);
    row.fault = fault;
    row.created[name] = any_bytes;
#else
    (void)fault;
    row.before[name] = link_to("/dev/full");
#endif
    return row;
}
const std::string run_statistics = "{statistics}";

const std::string usage = "Usage:\r\nromfold <path>\r\npath: flat release directory containing nk.bin\r\n";
const std::string fopen_failed = "OpenForReading: fopen() failed\n";
const std::string no_fault = "-";

Bytes kernel_image(std::uint32_t length, std::uint32_t base, const std::string& signature) {
    Bytes bytes = bytes_of(signature);
    append_le32(bytes, base);
    append_le32(bytes, length);
    for (std::uint32_t record = 0; record < 3; ++record) {
        append_le32(bytes, base + record * 0x1000u);  // address
        append_le32(bytes, 16);                       // length
        append_le32(bytes, 0x5A5A0000u + record);     // checksum
        const Bytes data = random_bytes(16, 100 + record);
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    return bytes;
}

Bytes cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes segment(int number, std::size_t size) { return random_bytes(size, static_cast<std::uint32_t>(number) + 1); }

std::string segment_name(int number) { return "nk.nb" + std::to_string(number); }

Files release(std::uint32_t length, const std::vector<std::size_t>& sizes) {
    Files files{{"nk.bin", kernel_image(length)}};
    for (std::size_t n = 0; n < sizes.size(); ++n) {
        files[segment_name(static_cast<int>(n))] = segment(static_cast<int>(n), sizes[n]);
    }
    return files;
}

Bytes merged(const Files& files, std::size_t length) {
    Bytes bytes;
    for (int n = 0; bytes.size() < length; ++n) {
        const auto found = files.find(segment_name(n));
        if (found == files.end()) {
            break;
        }
        bytes.insert(bytes.end(), found->second.begin(), found->second.end());
    }
    if (bytes.size() > length) {
        bytes.resize(length);
    }
    return bytes;
}

Bytes splash_file(std::int32_t width, std::int32_t height, std::size_t extra) {
    SplashFields fields;
    fields.width = width;
    fields.height = height;
    return splash_file(
        fields, random_bytes(2 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + extra, 77));
}

std::string statistics(std::uint32_t input_size, std::uint32_t output_size) {
    const auto in = static_cast<std::int32_t>(input_size);
    const auto out = static_cast<std::int32_t>(output_size);
    std::string gain = "0.00";
    if (in != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f%%", (1.0 - static_cast<double>(out) / in) * 100.0);
        gain = text;
    }
    return "\nInput file size : " + std::to_string(in) + " bytes\nOutput file size: " + std::to_string(out) +
           " bytes\nGain            : " + gain + "\n";
}

std::string image_line(std::int32_t length, const std::string& dir) {
    return "Image in " + dir + "/nk.bin is " + std::to_string(length) + "bytes\r\n";
}

std::string merging(int number, const std::string& dir) {
    return "Merging " + dir + "/" + segment_name(number) + ".\r\n";
}

std::string merging_up_to(int last, const std::string& dir) {
    std::string text;
    for (int n = 0; n <= last; ++n) {
        text += merging(n, dir);
    }
    return text;
}

std::string no_splash(const std::string& dir) { return "Splash screen " + dir + "/splash.tss not available.\r\n"; }

std::string splash_line(std::int32_t width, std::int32_t height, const std::string& dir) {
    return "Splash screen " + dir + "/splash.tss is " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels, " + std::to_string(2 * width * height + 12) + " bytes.\r\n";
}

std::string success(const std::string& dir) { return "Image file " + dir + "/nk.nbx generated successfully"; }

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string replace_all(std::string text, const std::string& marker, const std::string& by) {
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + by.size())) {
        text.replace(at, marker.size(), by);
    }
    return text;
}

namespace {

void populate(const ScratchDir& dir, const Files& files) {
    for (const auto& [name, bytes] : files) {
        const std::string text(bytes.begin(), bytes.end());
        if (text.rfind("-> ", 0) == 0) {
            dir.symlink(name, text.substr(3));
        } else if (bytes == a_directory) {
            dir.make_directory(name);
        } else {
            dir.write(name, bytes);
        }
    }
}

// Reads nk.nbx back and compares it with the run's nk.tmp, nbx.tmp and, when
// the run reported one, the splash screen it was given.
void check_packed_image(const ScratchDir& dir, const Files& after, const Files& before, bool splash_reported) {
    const romfold::test::DecodedFile image = romfold::test::decode_packed_image_file(dir.file("nk.nbx"));
    ASSERT_TRUE(image.ok) << "nk.nbx: " << image.message;
    EXPECT_TRUE(image.image == after.at("nk.tmp")) << "nk.nbx does not unpack to nk.tmp";
    EXPECT_TRUE(image.stream == after.at("nbx.tmp")) << "nk.nbx does not hold nbx.tmp";
    if (!splash_reported) {
        EXPECT_FALSE(image.has_splash);
        return;
    }
    const Bytes& screen = before.at("splash.tss");
    ASSERT_TRUE(image.has_splash);
    const auto width = static_cast<std::int32_t>(load_le32(screen, 18));
    const auto height = static_cast<std::int32_t>(load_le32(screen, 22));
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    const std::size_t count = 2 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    ASSERT_GE(screen.size(), 138 + count);
    EXPECT_TRUE(image.pixels == Bytes(screen.begin() + 138, screen.begin() + static_cast<std::ptrdiff_t>(138 + count)))
        << "the splash block is not the splash screen's pixels";
}

}  // namespace

FaultLog read_fault_log(const std::string& path) {
    const Bytes bytes = read_file(path);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    FaultLog log;
    const std::string count = "open at exit: ";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(count, 0) == 0) {
            log.open_at_exit = line.substr(count.size());
        } else {
            log.calls.push_back(line);
        }
    }
    return log;
}

void check_run(const Case& c) {
    ScratchDir dir;
    populate(dir, c.before);
    const Files before = dir.entries();

    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(replace_all(native(arg), "{dir}", dir.path()));
    }
    const ScratchDir logs;  // outside the release directory, which must hold only the run's files
    std::vector<std::string> env{"ROMFOLD_FAULT_LOG=" + logs.file("calls")};
    if (!c.fault.empty() && c.fault != no_fault) {
        env.push_back("ROMFOLD_FAULT=" + c.fault);
    }
    const ProgramResult result = run_program(c.fault.empty() ? ROMFOLD_BIN : ROMFOLD_FAULT_BIN, args, dir.path(), env);
    const Files after = dir.entries();
    if (!c.fault.empty()) {
        EXPECT_EQ(read_fault_log(logs.file("calls")).open_at_exit, "0") << "streams left open";
    }

    std::string out = replace_all(native(c.out), "{dir}", dir.path());
    if (out.find(run_statistics) != std::string::npos) {
        ASSERT_TRUE(after.count("nk.tmp") == 1 && after.count("nbx.tmp") == 1);
        out = replace_all(out, run_statistics,
                          statistics(static_cast<std::uint32_t>(after.at("nk.tmp").size()),
                                     static_cast<std::uint32_t>(after.at("nbx.tmp").size())));
    }
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, c.status);

    Files expected = before;
    for (const auto& [name, bytes] : c.created) {
        expected[name] = bytes;
    }
    // Compared name by name, so that a mismatch names the file.
    for (const auto& [name, bytes] : expected) {
        const auto found = after.find(name);
        ASSERT_NE(found, after.end()) << name << " is missing";
        if (bytes == any_bytes) continue;
        if (bytes == decodes_to_image && name == "nk.nbx") {
            EXPECT_EQ(result.status, 0) << "nk.nbx is only unpacked after a successful run";
            continue;
        }
        if (bytes == decodes_to_image) {
            const romfold::test::DecodedFile decoded = romfold::test::decode_container_file(dir.file(name));
            ASSERT_TRUE(decoded.ok) << name << ": " << decoded.message;
            EXPECT_TRUE(decoded.image == after.at("nk.tmp")) << name << " does not decode to nk.tmp";
            continue;
        }
        EXPECT_TRUE(found->second == bytes)
            << name << " differs: " << found->second.size() << " bytes, expected " << bytes.size();
    }
    for (const auto& entry : after) {
        EXPECT_TRUE(expected.count(entry.first) == 1) << entry.first << " was not expected";
    }
    if (result.status == 0) {
        check_packed_image(dir, after, before,
                           out.find("Splash screen " + dir.path() + native("/splash.tss is ")) != std::string::npos);
    }
}

}  // namespace romfold::test
