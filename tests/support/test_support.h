// Helpers shared by the test suites: scratch directories and whole-file I/O.
#ifndef ULO_TESTS_TEST_SUPPORT_H_
#define ULO_TESTS_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace ulo::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return root; }
  // `name` joined to the directory with the platform's separator.
  std::string Path(const std::string& name) const;

 private:
  std::string root;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// The file as a text-mode stream reads it: on Windows every CR LF as LF, so
// that a test can compare text output with "\n" line ends on any platform.
std::string ReadTextFile(const std::string& path);
// `bytes` with every CR LF read as LF, on every platform.
std::string CrLfAsLf(std::string_view bytes);
// The file's bytes with every CR LF read as LF.
std::string ReadAsLf(const std::string& path);
// Whether two texts are equal; if not, where they first differ, instead of
// both texts whole.
::testing::AssertionResult SameText(std::string_view actual, std::string_view expected);
bool FileExists(const std::string& path);
void MakeDirectory(const std::string& path);
// Removes a file or a whole directory tree; ignores what is missing.
void RemoveAll(const std::string& path);

// Whether the tests run with privileges that ignore file permissions.
bool RunningAsRoot();

}  // namespace ulo::testing

#endif  // ULO_TESTS_TEST_SUPPORT_H_
