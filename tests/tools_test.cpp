// The small support modules: strings, stream copy, the file search path with
// tilde expansion, temporary file names and path components.
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tools/file.h"
#include "tools/kzopen.h"
#include "tools/stream.h"
#include "tools/string.h"

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

TEST(StringTest, SearchSortednessAndStrip) {
  const char* const words[] = {"Code", "FBold", "Code", "GFID"};
  EXPECT_EQ(StringVectorSearch(words, 4, "Code"), 0);  // the first of two
  EXPECT_EQ(StringVectorSearch(words + 1, 3, "Code"), 1);
  EXPECT_EQ(StringVectorSearch(words, 4, "FBol"), -1);    // whole strings only
  EXPECT_EQ(StringVectorSearch(words, 4, "code"), -1);    // case matters
  EXPECT_EQ(StringVectorSearch(nullptr, 0, "Code"), -1);  // nothing is looked at

  const char* const sorted[] = {"B", "a", "ab", "b"};  // byte order: upper case first
  const char* const twice[] = {"a", "b", "b"};
  EXPECT_EQ(StringVectorGetIsSorted(sorted, 4), 1);
  EXPECT_EQ(StringVectorGetIsSorted(twice, 3), 0);  // strictly increasing only
  EXPECT_EQ(StringVectorGetIsSorted(words, 2), 1);
  EXPECT_EQ(StringVectorGetIsSorted(words, 3), 0);
  EXPECT_EQ(StringVectorGetIsSorted(words, 1), 1);
  EXPECT_EQ(StringVectorGetIsSorted(nullptr, 0), 1);

  char text[] = " a-b\t-c- ";
  StringStrip(text, " -\t");
  EXPECT_STREQ(text, "abc");
  char none[] = "a-b";
  StringStrip(none, "");
  EXPECT_STREQ(none, "a-b");

  char* copy = StringCopy("dca.am");
  EXPECT_STREQ(copy, "dca.am");
  std::free(copy);
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

  // An output that takes nothing (here one open for reading only) ends the
  // copy after its first block.
  std::FILE* in = std::tmpfile();
  std::fputs(std::string(30000, 'x').c_str(), in);
  std::rewind(in);
  std::FILE* out = std::fopen("/dev/null", "r");
  StreamCopy(in, out);
  EXPECT_EQ(std::ftell(in), 10240);
  std::fclose(out);
  std::fclose(in);
}

TEST(KzopenTest, SearchesTheNameThenHomeThenTheTwoKzhomeDirectories) {
  TempDir dir;
  const std::string home = dir.path + "/home", kz = dir.path + "/kz";
  const std::string name = "vantrove-kz-test.am";
  // The two last places are under KZHOME only, never under HOME.
  writeFile(home + "/kzinit/filters/" + name, "decoy");
  writeFile(home + "/.corlainit/" + name, "decoy");
  {
    ScopedEnv setHome("HOME", home.c_str());
    ScopedEnv setKz("KZHOME", kz.c_str());
    errno = 0;
    EXPECT_EQ(kzread(name), "<none>");
    EXPECT_EQ(errno, ENOENT);
    writeFile(kz + "/.corlainit/" + name, "corlainit");
    EXPECT_EQ(kzread(name), "corlainit");
    writeFile(kz + "/kzinit/filters/" + name, "filters");
    EXPECT_EQ(kzread(name), "filters");
    writeFile(home + "/" + name, "home");
    EXPECT_EQ(kzread(name), "home");
    // Names too long to compose are skipped, not truncated.
    EXPECT_EQ(kzread(std::string(300, 'n')), "<none>");
    EXPECT_EQ(kzread("~/" + std::string(300, 'n')), "<none>");
    // An output that cannot be created under its own name is looked for in
    // the same places.
    std::FILE* out = kzopen("kzinit/filters/vantrove-kz-out", "w");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    EXPECT_TRUE(fs::exists(home + "/kzinit/filters/vantrove-kz-out"));
  }
  // Without KZHOME the search ends after HOME.
  fs::remove(home + "/" + name);
  ScopedEnv setHome("HOME", home.c_str());
  ScopedEnv noKz("KZHOME", nullptr);
  errno = 0;
  EXPECT_EQ(kzread(name), "<none>");
  EXPECT_EQ(errno, ENOENT);
}

TEST(KzopenTest, TildeTakesTheHomeDirectoryFromThePasswordDatabase) {
  const passwd* me = getpwuid(getuid());
  ASSERT_NE(me, nullptr);
  const std::string user = me->pw_name, userHome = me->pw_dir;
  const auto expand = [](const std::string& name) {
    char buffer[257] = {};
    name.copy(buffer, 256);
    expandTilde(buffer);
    return std::string(buffer);
  };
  ScopedEnv setHome("HOME", "/nonexistent-vantrove-home");  // never consulted here
  {
    ScopedEnv setUser("USER", user.c_str());
    // The longest rest that still fits 256 characters after expansion.
    const std::string fits(255 - userHome.size(), 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"~/x", userHome + "/x"},
        {"~/", userHome + "/"},
        {"~" + user + "/x/y", userHome + "/x/y"},
        {"~/" + fits, userHome + "/" + fits},
        {"~/" + fits + "a", "~/" + fits + "a"},  // one too long: left alone
        {"~vantrove-no-such-user/x", "~vantrove-no-such-user/x"},
        {"~", "~"},
        {"~" + user, "~" + user},
        {"x/~/y", "x/~/y"},
        {"", ""},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(expand(name), expected) << name;

    // kzopen expands before it searches.
    TempDir dir;
    writeFile(dir.path + "/f", "found");
    if (fs::is_directory(userHome)) {
      std::string up;
      for (const auto& part : fs::path(userHome).relative_path()) {
        if (!part.empty()) up += "../";
      }
      EXPECT_EQ(kzread("~/" + up + dir.path.substr(1) + "/f"), "found");
    }
  }
  {
    ScopedEnv noUser("USER", nullptr);
    EXPECT_EQ(expand("~/x"), "~/x");
    EXPECT_EQ(expand("~" + user + "/x"), userHome + "/x");
  }
  ScopedEnv strangerUser("USER", "vantrove-no-such-user");
  EXPECT_EQ(expand("~/x"), "~/x");
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

TEST(TmpNameTest, DirectoriesInTurnAndNamesOfAnyLength) {
  FileReset();
  TempDir dir;
  const std::string pid = std::to_string(getpid());
  {
    ScopedEnv missing("TMPDIR", "/nonexistent-vantrove-tmpdir");
    // TMPDIR is not read while the given directory takes the file ...
    EXPECT_STREQ(FileGetTmpFileName(dir.path.c_str(), "vt"),
                 (dir.path + "/vt." + pid + ".1").c_str());
    {
      ScopedEnv usable("TMPDIR", dir.path.c_str());
      EXPECT_STREQ(FileGetTmpFileName(nullptr, "vt"), (dir.path + "/vt." + pid + ".2").c_str());
    }
    // ... and is kept once it has been read.
    EXPECT_STREQ(FileGetTmpFileName(nullptr, "vt"), (dir.path + "/vt." + pid + ".3").c_str());
    FileReset();
    // A TMPDIR that refuses the file sends it to /tmp.
    const std::string inTmp = "/tmp/vt." + pid + ".1";
    EXPECT_STREQ(FileGetTmpFileName(nullptr, "vt"), inTmp.c_str());
    fs::remove(inTmp);
  }
  // The name buffer grows with the directory and the prefix.
  const std::string deep = dir.path + "/" + std::string(200, 'd');
  const std::string prefix(150, 'p');
  fs::create_directories(deep);
  EXPECT_STREQ(FileGetTmpFileName(deep.c_str(), prefix.c_str()),
               (deep + "/" + prefix + "." + pid + ".2").c_str());
  EXPECT_STREQ(FileGetTmpFileName(dir.path.c_str(), "vt"),
               (dir.path + "/vt." + pid + ".3").c_str());
  FileReset();
}

TEST(BasenameTest, LastComponentKeepsATrailingSlash) {
  const std::pair<const char*, const char*> cases[] = {{"/usr/bin/tool", "tool"},
                                                       {"tool", "tool"},
                                                       {"a/b/", "b/"},
                                                       {"/", "/"},
                                                       {"", ""},
                                                       {"a//b", "b"},
                                                       {"/tool", "tool"}};
  for (const auto& [path, expected] : cases) {
    const char* result = basename(path);
    EXPECT_STREQ(result, expected) << path;
    EXPECT_EQ(result, path + std::strlen(path) - std::strlen(expected)) << path;  // no copy
  }
  EXPECT_EQ(basename(nullptr), nullptr);
}

}  // namespace
}  // namespace vantrove
