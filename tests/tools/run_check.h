// Runs a built program as a child process and collects what it printed, and
// builds packed images with the real packer on scratch copies of the sample.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace romfold::check_test {

using Bytes = std::vector<uint8_t>;

struct ProgramResult {
  std::string out;  // standard output, byte for byte
  std::string err;  // standard error
  int status = -1;  // exit status 0..255, or 1000 + signal number when killed
};

// Runs program with args (argv[1...]) in the directory cwd.
ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd);

// Runs romfold-check with args in cwd.
ProgramResult run_check(const std::vector<std::string>& args, const std::string& cwd);

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);
bool file_exists(const std::string& path);
uint32_t get_le32(const Bytes& bytes, size_t at);
void put_le32(Bytes& bytes, size_t at, uint32_t value);

// A fresh directory under the test temp folder, removed with its contents
// when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The sample release directory copied into dir/name (without splash.tss when
// with_splash is false, with splash in its place when that is not empty),
// then packed by romfold; returns the release directory's path.
std::string pack_sample(const ScratchDir& dir, const std::string& name, bool with_splash,
                        const Bytes& splash = {});

// The full path of program when it is on PATH, or an empty string.
std::string find_on_path(const std::string& program);

}  // namespace romfold::check_test
