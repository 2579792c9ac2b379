#include "support/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vtest {
namespace {

namespace fs = std::filesystem;

// The scratch folder goes when the test program ends.
struct ScratchFolder {
  std::string path;
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};
ScratchFolder scratchFolder;

std::string scratchRoot() {
  static const std::string root = [] {
    std::string templ = (fs::temp_directory_path() / "vantrove-test.XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    fs::create_directories(fs::path(templ) / "kz/kzinit/filters");
    fs::create_directories(fs::path(templ) / "home");
    fs::create_directories(fs::path(templ) / "tmp");
    fs::copy_file(fs::path(VANTROVE_SOURCE_DIR) / "data/dca.am",
                  fs::path(templ) / "kz/kzinit/filters/dca.am",
                  fs::copy_options::overwrite_existing);
    scratchFolder.path = templ;
    return templ;
  }();
  return root;
}

std::string slurp(int fd) {
  std::string text;
  char block[65536];
  lseek(fd, 0, SEEK_SET);
  for (;;) {
    ssize_t n = read(fd, block, sizeof block);
    if (n <= 0) break;
    text.append(block, static_cast<std::size_t>(n));
  }
  return text;
}

int scratchFile() {
  std::string templ = scratchRoot() + "/io.XXXXXX";
  int fd = mkstemp(templ.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  unlink(templ.c_str());
  return fd;
}

}  // namespace

std::string tmpDir() {
  return scratchRoot() + "/tmp";
}

std::vector<std::string> tmpFiles() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(tmpDir()))
    names.push_back(entry.path().filename().string());
  return names;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const dca::Bytes& stdinBytes, const std::map<std::string, std::string>& env) {
  for (const auto& entry : fs::directory_iterator(tmpDir())) fs::remove_all(entry.path());

  int inFd = scratchFile();
  if (!stdinBytes.empty() &&
      write(inFd, stdinBytes.data(), stdinBytes.size()) != static_cast<ssize_t>(stdinBytes.size()))
    throw std::runtime_error("cannot write the input");
  lseek(inFd, 0, SEEK_SET);
  int outFd = scratchFile();
  int errFd = scratchFile();

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setenv("KZHOME", (scratchRoot() + "/kz").c_str(), 1);
    setenv("HOME", (scratchRoot() + "/home").c_str(), 1);
    setenv("TMPDIR", tmpDir().c_str(), 1);
    for (const auto& [name, value] : env)
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  RunResult result;
  // The child shared the input's file offset.
  result.stdinRead = static_cast<long>(lseek(inFd, 0, SEEK_CUR));
  result.out = slurp(outFd);
  result.err = slurp(errFd);
  if (WIFEXITED(wstatus))
    result.status = WEXITSTATUS(wstatus);
  else if (WIFSIGNALED(wstatus))
    result.status = 128 + WTERMSIG(wstatus);
  close(inFd);
  close(outFd);
  close(errFd);
  return result;
}

}  // namespace vtest
