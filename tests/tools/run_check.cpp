#include "tests/tools/run_check.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

namespace romfold::check_test {

namespace {

int anonymous_file() {
  char name[] = "/tmp/romfold_check_child_XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  ::unlink(name);
  return fd;
}

std::string slurp(int fd) {
  std::string text;
  ::lseek(fd, 0, SEEK_SET);
  char chunk[65536];
  ssize_t got = 0;
  while ((got = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, size_t(got));
  ::close(fd);
  return text;
}

}  // namespace

ProgramResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd) {
  const int out_fd = anonymous_file();
  const int err_fd = anonymous_file();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(out_fd, STDOUT_FILENO);
    ::dup2(err_fd, STDERR_FILENO);
    const int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, STDIN_FILENO);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
  }
  ProgramResult result;
  result.out = slurp(out_fd);
  result.err = slurp(err_fd);
  result.status =
      WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 1000 + WTERMSIG(wait_status);
  return result;
}

ProgramResult run_check(const std::vector<std::string>& args, const std::string& cwd) {
  return run_program(ROMFOLD_CHECK_BIN, args, cwd);
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

uint32_t get_le32(const Bytes& bytes, size_t at) {
  return uint32_t(bytes.at(at)) | uint32_t(bytes.at(at + 1)) << 8 |
         uint32_t(bytes.at(at + 2)) << 16 | uint32_t(bytes.at(at + 3)) << 24;
}

void put_le32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + size_t(i)) = uint8_t(value >> (8 * i));
}

ScratchDir::ScratchDir() {
  std::string pattern = ::testing::TempDir() + "romfold_check_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string pack_sample(const ScratchDir& dir, const std::string& name, bool with_splash,
                        const Bytes& splash) {
  namespace fs = std::filesystem;
  const std::string release = dir.file(name);
  fs::create_directory(release);
  for (const char* name : {"nk.bin", "nk.nb0", "nk.nb1", "nk.nb2"}) {
    fs::copy_file(std::string(ROMFOLD_SAMPLE_DIR) + "/" + name, release + "/" + name);
  }
  if (!splash.empty()) {
    write_file(release + "/splash.tss", splash);
  } else if (with_splash) {
    fs::copy_file(std::string(ROMFOLD_SAMPLE_DIR) + "/splash.tss", release + "/splash.tss");
  }
  const ProgramResult packed = run_program(ROMFOLD_BIN, {name}, dir.path());
  if (packed.status != 0) throw std::runtime_error("romfold failed: " + packed.out);
  return release;
}

std::string find_on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string candidate =
        (end == start ? std::string(".") : list.substr(start, end - start)) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace romfold::check_test
