// Tilde expansion in the file search path, from the password database. (The
// order of the search path is in the font map cases of tests/cases/, and
// temporary files are safety cases: safety_test.sh.)
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tools/kzopen.h"

namespace vantrove {
namespace {

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
