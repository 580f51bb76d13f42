// TextWriter, and the bytes it leaves: those the C runtime's text-mode
// streams write for the same text (CR LF for every LF on Windows, the text
// unchanged on POSIX).
#include "text/text_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/pair_line.h"

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

// What a text-mode stream opened with `mode` ("w" or "a") leaves in `path`.
void WriteThroughTextStream(const std::string& path, const char* mode, const std::string& text) {
  FILE* stream = std::fopen(path.c_str(), mode);
  ASSERT_NE(stream, nullptr) << path;
  EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), stream), text.size());
  EXPECT_EQ(std::fclose(stream), 0);
}

void WriteThroughTextWriter(const std::string& path, bool append, const std::string& text) {
  int error = 0;
  auto writer = TextWriter::Open(path, append, &error, 64);
  ASSERT_NE(writer, nullptr) << path << " error " << error;
  writer->Append(text);
  EXPECT_TRUE(writer->Close());
}

const std::vector<std::string> kTexts = {
    "\xB0\xA1\t\xB0\xA2\t3\n\xB0\xA1\t\xC0\xB2\t12\n",  // pair-count lines
    "\n\n\nlast line without its end",
    "entry ending as the error log ends its lines\r\n",  // CR before the LF
    "lone\rcarriage\rreturns\r",
    std::string(200, 'x') + "\n" + std::string(63, 'y') + "\n",  // across buffer ends
};

TEST(TextModeTest, WriterMatchesTheRuntimesTextStreams) {
  testing::TempDir dir;
  for (size_t i = 0; i < kTexts.size(); ++i) {
    for (bool append : {false, true}) {
      WriteThroughTextStream(dir.Path("stream.txt"), append ? "a" : "w", kTexts[i]);
      WriteThroughTextWriter(dir.Path("writer.txt"), append, kTexts[i]);
      EXPECT_EQ(testing::ReadFile(dir.Path("writer.txt")),
                testing::ReadFile(dir.Path("stream.txt")))
          << (append ? "appended text " : "text ") << i;
    }
  }
}

TEST(WritePairLineTest, GbkWordsAndNegativeCount) {
  testing::TempDir dir;
  int error = 0;
  {
    auto out = TextWriter::Open(dir.Path("p.txt"), false, &error);
    ASSERT_NE(out, nullptr);
    WritePairLine(*out, "\xBC\xD7", "\xD2\xD2", -3);
    WritePairLine(*out, "a", "b", int64_t{5000000000});
    ASSERT_TRUE(out->Close());
  }
  std::string lf = platform::kTextModeWritesCrLf ? "\r\n" : "\n";
  EXPECT_EQ(testing::ReadFile(dir.Path("p.txt")),
            "\xBC\xD7\t\xD2\xD2\t-3" + lf + "a\tb\t5000000000" + lf);
}

}  // namespace
}  // namespace ulo::text
