// Sets (or unsets) an environment variable for the life of the object, for
// tests that depend on TZ or the locale variables.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace testing_support {

class ScopedEnv {
 public:
  // nullptr unsets the variable.
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) {
#ifdef _WIN32
    _putenv_s(name_.c_str(), value ? value : "");  // "" unsets there
#else
    if (value) setenv(name_.c_str(), value, 1);
    else unsetenv(name_.c_str());
#endif
  }

  std::string name_;
  std::optional<std::string> old_;
};

// The host's charset for the code-page functions: LC_ALL set to `locale`,
// the two variables below it cleared.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* locale)
      : all_("LC_ALL", locale), ctype_("LC_CTYPE", nullptr), lang_("LANG", nullptr) {}

 private:
  ScopedEnv all_, ctype_, lang_;
};

}  // namespace testing_support
