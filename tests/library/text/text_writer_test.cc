#include "text/text_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/test_support.h"

namespace ulo::text {
namespace {

// Accepts `capacity` bytes, then fails every write with ENOSPC.
class BoundedFile : public platform::WritableFile {
 public:
  BoundedFile(std::string* sink, size_t capacity) : sink(sink), capacity(capacity) {}
  bool Write(const char* data, size_t n, int* error) override {
    if (sink->size() + n > capacity) {
      *error = ENOSPC;
      return false;
    }
    sink->append(data, n);
    return true;
  }
  bool Close(int*) override { return true; }

 private:
  std::string* sink;
  size_t capacity;
};

TEST(TextWriterTest, CrLfModeTranslatesEveryLineFeed) {
  std::string sink;
  TextWriter writer(std::make_unique<BoundedFile>(&sink, 1000), true, 64);
  writer.Append("a\nb\n\n");
  writer.Append('\n');
  writer.Append("x");
  ASSERT_TRUE(writer.Close());
  EXPECT_EQ(sink, "a\r\nb\r\n\r\n\r\nx");
}

TEST(TextWriterTest, FailedWriteMakesCloseFail) {
  std::string sink;
  TextWriter writer(std::make_unique<BoundedFile>(&sink, 100), false, 64);
  for (int i = 0; i < 100; ++i)
    writer.Append("0123456789");
  EXPECT_FALSE(writer.ok());
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(writer.Close());
}

}  // namespace
}  // namespace ulo::text
