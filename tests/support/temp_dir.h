// Helpers for tests that work on real files: a fresh folder per test, whole-file reads
// and writes, and environment variables set for the length of a scope.
#ifndef TELMAR_TESTS_SUPPORT_TEMP_DIR_H
#define TELMAR_TESTS_SUPPORT_TEMP_DIR_H

#include <initializer_list>
#include <string>

namespace testing_support {

// A new empty folder under $TMPDIR (or /tmp), removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string Join(const std::string& relative) const;
  // Creates the folder `relative` (and its parents) inside this one; returns its path.
  std::string MakeDir(const std::string& relative) const;

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
// The whole content of a file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// Sets (or, with nullptr, unsets) an environment variable until the end of the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_;
};

// Joins lines with CR LF after each, as the program writes text files.
std::string CrLfLines(std::initializer_list<const char*> lines);

}  // namespace testing_support

#endif
