// The file search path of the support modules, with tilde expansion.
// (Temporary files are safety cases: safety_test.sh.)
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tools/kzopen.h"

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
  }
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
        {"~" + user, "~" + user},
        {"x/~/y", "x/~/y"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(expand(name), expected) << name;
  }
  {
    ScopedEnv noUser("USER", nullptr);
    EXPECT_EQ(expand("~/x"), "~/x");
    EXPECT_EQ(expand("~" + user + "/x"), userHome + "/x");
  }
}

}  // namespace
}  // namespace vantrove
