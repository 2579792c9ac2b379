// The small support modules: stream copy, the file search path and temporary
// file names.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tools/file.h"
#include "tools/kzopen.h"
#include "tools/stream.h"

namespace vantrove {
namespace {

namespace fs = std::filesystem;

// Sets (or, with null, unsets) an environment variable for the object's life.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A fresh directory, removed with its contents.
struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/vantrove-tools-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string path;
};

void writeFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

// The contents of `name` opened through the search path, or "<none>".
std::string kzread(const std::string& name) {
  std::FILE* stream = kzopen(name.c_str(), "r");
  if (stream == nullptr) return "<none>";
  std::string text;
  for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
  std::fclose(stream);
  return text;
}

TEST(StreamTest, CopiesFromWhereTheInputStandsInBlocksOf10240Bytes) {
  // An unbuffered output that records the size of every write it receives.
  struct WriteLog {
    std::vector<std::size_t> sizes;
    std::string bytes;
  };
  cookie_io_functions_t functions{};
  functions.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
    static_cast<WriteLog*>(cookie)->sizes.push_back(size);
    static_cast<WriteLog*>(cookie)->bytes.append(data, size);
    return static_cast<ssize_t>(size);
  };
  const std::pair<std::size_t, std::vector<std::size_t>> cases[] = {
      {0, {}}, {10, {10}}, {10241, {10240, 1}}};
  for (const auto& [length, blocks] : cases) {
    std::FILE* in = std::tmpfile();
    const std::string text = "skip" + std::string(length, 'x');
    std::fputs(text.c_str(), in);
    std::fseek(in, 4, SEEK_SET);
    WriteLog log;
    std::FILE* out = fopencookie(&log, "w", functions);
    std::setvbuf(out, nullptr, _IONBF, 0);
    StreamCopy(in, out);
    std::fclose(out);
    std::fclose(in);
    EXPECT_EQ(log.sizes, blocks) << length;
    EXPECT_EQ(log.bytes, text.substr(4));
  }
}

TEST(KzopenTest, SearchesTheNameThenHomeThenTheTwoKzhomeDirectories) {
  TempDir dir;
  const std::string home = dir.path + "/home", kz = dir.path + "/kz";
  const std::string name = "vantrove-kz-test.am";
  fs::create_directories(home);
  {
    ScopedEnv setHome("HOME", home.c_str());
    ScopedEnv setKz("KZHOME", kz.c_str());
    EXPECT_EQ(kzread(name), "<none>");
    writeFile(kz + "/.corlainit/" + name, "corlainit");
    EXPECT_EQ(kzread(name), "corlainit");
    writeFile(kz + "/kzinit/filters/" + name, "filters");
    EXPECT_EQ(kzread(name), "filters");
    writeFile(home + "/" + name, "home");
    EXPECT_EQ(kzread(name), "home");
    // Names too long to compose are skipped, not truncated.
    EXPECT_EQ(kzread(std::string(300, 'n')), "<none>");
  }
  ScopedEnv setHome("HOME", "/nonexistent-vantrove-home");
  ScopedEnv noKz("KZHOME", nullptr);
  errno = 0;
  EXPECT_EQ(kzread(name), "<none>");
  EXPECT_EQ(errno, ENOENT);
}

TEST(TmpNameTest, NamesCarryPidAndACounterInOneReusedBuffer) {
  FileReset();
  TempDir dir;
  const auto expected = [&dir](int counter) {
    return dir.path + "/vt." + std::to_string(getpid()) + "." + std::to_string(counter);
  };
  writeFile(expected(2), "old content");
  const char* first = FileGetTmpFileName(dir.path.c_str(), "vt");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::string(first), expected(1));
  EXPECT_EQ(fs::status(first).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_STREQ(FileGetTmpFileName(dir.path.c_str(), "vt"), expected(2).c_str());
  EXPECT_STREQ(first, expected(2).c_str());       // the first text was overwritten
  EXPECT_EQ(kzread(expected(2)), "old content");  // reused, not truncated
  FileReset();
}

}  // namespace
}  // namespace vantrove
