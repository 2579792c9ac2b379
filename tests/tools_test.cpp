// The small support modules: strings, stream copy, the file search path with
// tilde expansion, temporary file names and basename.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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

// Sets or unsets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A fresh directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/vantrove-tools-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}

std::string readAll(std::FILE* stream) {
  std::string text;
  int c;
  while ((c = std::fgetc(stream)) != EOF) text += static_cast<char>(c);
  return text;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Opens `name` through the search path and returns its contents, or
// "<none>" when no candidate opened.
std::string kzread(const char* name) {
  std::FILE* stream = kzopen(name, "r");
  if (stream == nullptr) return "<none>";
  std::string text = readAll(stream);
  std::fclose(stream);
  return text;
}

const passwd* currentAccount() {
  return getpwuid(getuid());
}

// ---------------------------------------------------------------------------
// string

TEST(StringTest, CopyIsAnEqualSeparateAllocation) {
  const char text[] = "Courier";
  char* copy = StringCopy(text);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, text);
  EXPECT_STREQ(copy, "Courier");
  std::free(copy);
}

TEST(StringTest, VectorSearchFindsTheFirstExactMatch) {
  const char* const words[] = {"Code", "FBold", "Code", "GFID"};
  EXPECT_EQ(StringVectorSearch(words, 4, "Code"), 0);
  EXPECT_EQ(StringVectorSearch(words, 4, "GFID"), 3);
  EXPECT_EQ(StringVectorSearch(words, 4, "code"), -1);
  EXPECT_EQ(StringVectorSearch(words, 4, "FBol"), -1);
  EXPECT_EQ(StringVectorSearch(words, 3, "GFID"), -1);
  EXPECT_EQ(StringVectorSearch(nullptr, 0, "Code"), -1);  // no element is looked at
}

TEST(StringTest, VectorIsSortedOnlyWhenStrictlyIncreasing) {
  const char* const increasing[] = {"Code", "FBold", "GFID"};
  const char* const repeated[] = {"Code", "Code"};
  const char* const decreasing[] = {"b", "a"};
  EXPECT_EQ(StringVectorGetIsSorted(nullptr, 0), 1);
  EXPECT_EQ(StringVectorGetIsSorted(decreasing, 1), 1);
  EXPECT_EQ(StringVectorGetIsSorted(increasing, 3), 1);
  EXPECT_EQ(StringVectorGetIsSorted(repeated, 2), 0);
  EXPECT_EQ(StringVectorGetIsSorted(decreasing, 2), 0);
}

TEST(StringTest, StripDeletesEveryCharacterOfTheSet) {
  char dashes[] = "a-b-c";
  StringStrip(dashes, "-");
  EXPECT_STREQ(dashes, "abc");
  char mixed[] = " x\ty z ";
  StringStrip(mixed, " \t");
  EXPECT_STREQ(mixed, "xyz");
  char kept[] = "abc";
  StringStrip(kept, "");
  EXPECT_STREQ(kept, "abc");
  char gone[] = "--";
  StringStrip(gone, "-");
  EXPECT_STREQ(gone, "");
}

// ---------------------------------------------------------------------------
// stream

// An unbuffered output stream that records the size of every write it gets.
struct WriteLog {
  std::vector<std::size_t> sizes;
  std::string bytes;
};

std::FILE* openLoggingStream(WriteLog* log) {
  cookie_io_functions_t functions{};
  functions.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
    auto* target = static_cast<WriteLog*>(cookie);
    target->sizes.push_back(size);
    target->bytes.append(data, size);
    return static_cast<ssize_t>(size);
  };
  std::FILE* stream = fopencookie(log, "w", functions);
  if (stream != nullptr) std::setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

TEST(StreamTest, CopiesInBlocksOf10240Bytes) {
  std::FILE* in = std::tmpfile();
  ASSERT_NE(in, nullptr);
  std::string text(10241, 'x');
  text[10240] = 'y';
  std::fwrite(text.data(), 1, text.size(), in);
  std::rewind(in);
  WriteLog log;
  std::FILE* out = openLoggingStream(&log);
  ASSERT_NE(out, nullptr);
  StreamCopy(in, out);
  std::fclose(out);
  std::fclose(in);
  EXPECT_EQ(log.sizes, (std::vector<std::size_t>{10240, 1}));
  EXPECT_EQ(log.bytes, text);
}

TEST(StreamTest, EmptyInputWritesNothing) {
  std::FILE* in = std::tmpfile();
  ASSERT_NE(in, nullptr);
  WriteLog log;
  std::FILE* out = openLoggingStream(&log);
  StreamCopy(in, out);
  std::fclose(out);
  std::fclose(in);
  EXPECT_TRUE(log.sizes.empty());
}

TEST(StreamTest, CopyStartsWhereTheInputStands) {
  std::FILE* in = std::tmpfile();
  std::fputs("skip:rest", in);
  std::fseek(in, 5, SEEK_SET);
  std::FILE* out = std::tmpfile();
  StreamCopy(in, out);
  std::rewind(out);
  EXPECT_EQ(readAll(out), "rest");
  std::fclose(out);
  std::fclose(in);
}

TEST(StreamTest, ReadErrorEndsTheCopyQuietly) {
  TempDir dir;
  const std::string path = dir.path() + "/write-only";
  std::FILE* in = std::fopen(path.c_str(), "w");  // reading it fails
  ASSERT_NE(in, nullptr);
  WriteLog log;
  std::FILE* out = openLoggingStream(&log);
  StreamCopy(in, out);
  std::fclose(out);
  std::fclose(in);
  EXPECT_TRUE(log.sizes.empty());
}

// ---------------------------------------------------------------------------
// kzopen

TEST(KzopenTest, SearchesTheNameThenHomeThenKzhome) {
  TempDir dir;
  const std::string home = dir.path() + "/home";
  const std::string kz = dir.path() + "/kz";
  const char* name = "vantrove-kz-test.am";
  fs::create_directories(home);
  ScopedEnv setHome("HOME", home.c_str());
  ScopedEnv setKz("KZHOME", kz.c_str());

  writeFile(kz + "/.corlainit/" + name, "corlainit");
  EXPECT_EQ(kzread(name), "corlainit");
  writeFile(kz + "/kzinit/filters/" + name, "filters");
  EXPECT_EQ(kzread(name), "filters");
  writeFile(home + "/" + name, "home");
  EXPECT_EQ(kzread(name), "home");
  const std::string direct = dir.path() + "/direct.am";
  writeFile(direct, "direct");
  EXPECT_EQ(kzread(direct.c_str()), "direct");
}

TEST(KzopenTest, UnsetHomeIsSkippedAndUnsetKzhomeEndsTheSearch) {
  TempDir dir;
  const std::string kz = dir.path() + "/kz";
  const char* name = "vantrove-kz-unset.am";
  writeFile(kz + "/kzinit/filters/" + name, "filters");
  writeFile(dir.path() + "/" + name, "home");
  {
    ScopedEnv noHome("HOME", nullptr);
    ScopedEnv setKz("KZHOME", kz.c_str());
    EXPECT_EQ(kzread(name), "filters");
  }
  {
    ScopedEnv setHome("HOME", "/nonexistent-vantrove-home");
    ScopedEnv noKz("KZHOME", nullptr);
    errno = 0;
    EXPECT_EQ(kzopen(name, "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
  }
}

TEST(KzopenTest, WriteModeCreatesTheNamedFile) {
  TempDir dir;
  const std::string path = dir.path() + "/out.tyx";
  std::FILE* stream = kzopen(path.c_str(), "w");
  ASSERT_NE(stream, nullptr);
  std::fputs("written", stream);
  std::fclose(stream);
  EXPECT_EQ(readFile(path), "written");
}

TEST(KzopenTest, OverlongCompositionsAreSkippedNotTruncated) {
  const std::string longName(300, 'n');
  ScopedEnv setHome("HOME", "/tmp");
  ScopedEnv setKz("KZHOME", "/tmp");
  EXPECT_EQ(kzopen(longName.c_str(), "r"), nullptr);
  const std::string longTilde = "~/" + longName;
  EXPECT_EQ(kzopen(longTilde.c_str(), "r"), nullptr);
}

TEST(KzopenTest, TildeNameOpensInTheAccountsHomeDirectory) {
  const passwd* account = currentAccount();
  ASSERT_NE(account, nullptr);
  const std::string name = "vantrove-tilde-test.txt";
  const std::string path = std::string(account->pw_dir) + "/" + name;
  if (access(account->pw_dir, W_OK) != 0) GTEST_SKIP() << "home directory not writable";
  writeFile(path, "tilde");
  ScopedEnv user("USER", account->pw_name);
  ScopedEnv home("HOME", "/nonexistent-vantrove-home");
  EXPECT_EQ(kzread(("~/" + name).c_str()), "tilde");
  fs::remove(path);
}

TEST(ExpandTildeTest, UsesThePasswordDatabaseNotHome) {
  const passwd* account = currentAccount();
  ASSERT_NE(account, nullptr);
  const std::string home = account->pw_dir;
  const std::string user = account->pw_name;
  ScopedEnv setUser("USER", user.c_str());
  ScopedEnv setHome("HOME", "/somewhere/else");

  char own[257] = "~/x";
  expandTilde(own);
  EXPECT_EQ(std::string(own), home + "/x");

  char named[257];
  std::snprintf(named, sizeof named, "~%s/a/b", user.c_str());
  expandTilde(named);
  EXPECT_EQ(std::string(named), home + "/a/b");
}

TEST(ExpandTildeTest, LeavesNamesItCannotExpandUnchanged) {
  const passwd* account = currentAccount();
  ASSERT_NE(account, nullptr);
  const auto unchanged = [](const std::string& text) {
    char buffer[257];
    std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
    expandTilde(buffer);
    return std::string(buffer) == text;
  };
  EXPECT_TRUE(unchanged("~nosuchvantroveuser/x"));
  EXPECT_TRUE(unchanged("~"));
  EXPECT_TRUE(unchanged(std::string("~") + account->pw_name));
  EXPECT_TRUE(unchanged("plain/~/x"));
  {
    ScopedEnv noUser("USER", nullptr);
    EXPECT_TRUE(unchanged("~/x"));
  }
  // The home directory and the rest would pass 256 characters.
  ScopedEnv setUser("USER", account->pw_name);
  const std::string tooLong = "~/" + std::string(253, 'r');
  EXPECT_TRUE(unchanged(tooLong));
}

// ---------------------------------------------------------------------------
// file

class TmpNameTest : public ::testing::Test {
 protected:
  void SetUp() override { FileReset(); }
  void TearDown() override {
    for (const std::string& path : created_) fs::remove(path);
    FileReset();
  }

  std::string make(const char* dir, const char* prefix) {
    const char* name = FileGetTmpFileName(dir, prefix);
    if (name == nullptr) return "<null>";
    created_.push_back(name);
    return name;
  }

  std::string expected(const std::string& dir, const char* prefix, int counter) {
    return dir + "/" + prefix + "." + std::to_string(getpid()) + "." + std::to_string(counter);
  }

  std::vector<std::string> created_;
};

TEST_F(TmpNameTest, NamesCarryPidAndARunningCounterInOneReusedBuffer) {
  TempDir dir;
  const char* first = FileGetTmpFileName(dir.path().c_str(), "vantrove");
  ASSERT_NE(first, nullptr);
  const std::string firstName = first;
  EXPECT_EQ(firstName, expected(dir.path(), "vantrove", 1));
  EXPECT_TRUE(fs::exists(firstName));
  EXPECT_EQ(fs::file_size(firstName), 0u);
  EXPECT_EQ(fs::status(firstName).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  const char* second = FileGetTmpFileName(dir.path().c_str(), "vantrove");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::string(second), expected(dir.path(), "vantrove", 2));
  EXPECT_STREQ(first, second);  // the first text was overwritten
}

TEST_F(TmpNameTest, ExistingFileIsReusedWithoutTruncation) {
  TempDir dir;
  writeFile(expected(dir.path(), "keep", 1), "old content");
  EXPECT_EQ(make(dir.path().c_str(), "keep"), expected(dir.path(), "keep", 1));
  EXPECT_EQ(readFile(expected(dir.path(), "keep", 1)), "old content");
}

TEST_F(TmpNameTest, WithoutADirectoryTmpdirIsUsedAndKeptOnceRead) {
  TempDir first;
  TempDir second;
  {
    ScopedEnv tmpdir("TMPDIR", first.path().c_str());
    EXPECT_EQ(make(nullptr, "vt"), expected(first.path(), "vt", 1));
  }
  ScopedEnv tmpdir("TMPDIR", second.path().c_str());
  EXPECT_EQ(make(nullptr, "vt"), expected(first.path(), "vt", 2));
  FileReset();
  EXPECT_EQ(make(nullptr, "vt"), expected(second.path(), "vt", 1));
}

TEST_F(TmpNameTest, UnusableDirectoriesFallBackToTmp) {
  ScopedEnv tmpdir("TMPDIR", "/nonexistent-vantrove-tmpdir");
  EXPECT_EQ(make("/nonexistent-vantrove-dir", "vtfall"), expected("/tmp", "vtfall", 1));
}

TEST(BasenameTest, ReturnsThePartAfterTheLastInnerSlash) {
  const char* tool = "/usr/bin/tool";
  EXPECT_EQ(basename(tool), tool + 9);
  EXPECT_STREQ(basename("a/b/"), "b/");
  EXPECT_STREQ(basename("/"), "/");
  EXPECT_STREQ(basename(""), "");
  EXPECT_STREQ(basename("tool"), "tool");
  EXPECT_STREQ(basename("a//b"), "b");
  EXPECT_EQ(basename(nullptr), nullptr);
}

}  // namespace
}  // namespace vantrove
