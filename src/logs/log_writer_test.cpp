#include "logs/log_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "logs/job_log.h"
#include "platform/files.h"
#include "platform/test_folder.h"

namespace crvl {
namespace {

namespace fs = std::filesystem;

std::string readTestData(const std::string& name) {
  std::ifstream in(fs::path(CRVL_SOURCE_DIR) / "src" / "logs" / "testdata" / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Collects everything written, or fails from the n-th write on.
struct MemoryOutput {
  std::string bytes;
  int writes = 0;
  int failFrom = -1;  // index of the first write that fails; -1: never
  ErrorCode failure = kErrorDiskFull;

  static ErrorCode write(void* self, const void* data, size_t size) noexcept {
    auto* out = static_cast<MemoryOutput*>(self);
    const int index = out->writes++;
    if (out->failFrom >= 0 && index >= out->failFrom) return out->failure;
    out->bytes.append(static_cast<const char*>(data), size);
    return kSuccess;
  }
  LogContext context(LogFormat format) { return LogContext{format, LogOutput{this, &write}}; }
};

struct Record {
  int32_t marker;
  LogText left;
  LogText right;
  std::u16string state;
};

// A small run: copies with a space and "Ä", a path with ';', a message with quotes, an
// absent left text, U+0152, a side that could not be opened (system message with its
// line break), a character outside the BMP and an unknown marker.
const std::vector<Record>& sampleRun() {
  static const std::vector<Record> records = {
      {kMarkerCopiedNewRight, u"src/\u00C4 file.txt", u"dst/\u00C4 file.txt", u""},
      {kMarkerCopiedOverRight, u"src/a;b.txt", u"dst/a;b.txt", u"Access to \"a\" denied"},
      {kMarkerFileDeleted, std::nullopt, u"dst/\u0152uvre.txt", u""},
      {kMarkerSideUnavailable, u"src/gone", std::nullopt, u"The device is not ready.\r\n"},
      {kMarkerTypeClash, u"src/\U0001F600.txt", u"dst/\U0001F600.txt", u""},
      {42, u"x", u"y", u""},
  };
  return records;
}

const LogHeadTexts kHead{u"B\u00E4ckup \U0001F600", u"15.08.2024  15:45:30", u"Job", u"Created at",
                         u"State"};

class LogWriterTest : public ::testing::Test {
 protected:
  testing::TestFolder testFolder_;
  const fs::path& folder_ = testFolder_.root();
};

struct GoldenCase {
  LogFormat format;
  const char* file;
};

// Every format through a real file (byte order mark from the file creation), compared
// byte for byte with a log written by hand.
TEST_F(LogWriterTest, EveryFormatMatchesItsGoldenFile) {
  const GoldenCase cases[] = {
      {kLogFormatText, "format1.txt"},        {kLogFormatTextUnicode, "format2.txt"},
      {kLogFormatCsv, "format3.csv"},         {kLogFormatCsvUnicode, "format4.csv"},
      {kLogFormatHtml, "format5.htm"},        {kLogFormatHtmlUnicode, "format6.htm"},
      {kLogFormatHtmlUtf8, "format7.htm"},
  };
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::u16string path = (folder_ / c.file).u16string();
    platform::File file;
    ASSERT_EQ(createLogFile(path, c.format, &file), kSuccess);
    const LogContext log{c.format, LogOutput{&file, [](void* f, const void* d, size_t n) noexcept {
                                               return static_cast<platform::File*>(f)->write(d, n);
                                             }}};
    ASSERT_EQ(writeLogHead(log, kHead), kSuccess);
    for (const Record& r : sampleRun()) {
      std::u16string state = r.state;
      writeLogRecord(log, r.marker, r.left, r.right, state);
      EXPECT_TRUE(state.empty());
    }
    ASSERT_EQ(writeLogFooter(log), kSuccess);
    file.close();
    std::string written;
    ASSERT_EQ(platform::readWholeFile(path, written), kSuccess);
    const std::string expected = readTestData(c.file);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(written, expected);
  }
}

TEST(LogRecordTest, StateIsEmptiedWhetherOrNotALogIsOpen) {
  MemoryOutput out;
  const LogContext contexts[] = {
      LogContext{kLogFormatText, LogOutput{}},  // no log open
      out.context(0),                           // format out of range
      out.context(-3),
      out.context(8),
      out.context(kLogFormatCsv),
  };
  for (const LogContext& log : contexts) {
    std::u16string state = u"The system cannot find the file specified.\r\n";
    writeLogRecord(log, kMarkerFileDeleted, u"a", u"b", state);
    EXPECT_TRUE(state.empty()) << log.format;
  }
  // Only the valid format wrote: one line and one line end.
  EXPECT_EQ(out.bytes, "--;a;b;The system cannot find the file specified.\r\n\r\n");
  EXPECT_EQ(out.writes, 2);
}

TEST(LogRecordTest, MarkerTexts) {
  const std::pair<int32_t, std::u16string_view> cases[] = {
      {-8, u"++"}, {-7, u"--"}, {-6, u"--"}, {-5, u"+>"}, {-4, u"<+"}, {-3, u"=>"},
      {-2, u"<="}, {-1, u""},   {0, u"?"},   {1, u"Err"}, {8, u"!"},   {2, u""},
      {-9, u""},   {7, u""},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(markerText(code), text) << code;
}

TEST(LogRecordTest, TextLineForTheConsole) {
  EXPECT_EQ(formatRecordLine(kMarkerFileDeleted, std::nullopt, u"dst/x", u"Access is denied.\r\n"),
            u"--  dst/x Access is denied.\r\n");
  EXPECT_EQ(formatRecordLine(kMarkerCopiedNewLeft, u"a b", u"c", u""), u"<+ a b c OK");
  // The state cell holds 511 characters at most; the line 4095.
  const std::u16string longState(600, u's');
  EXPECT_EQ(formatRecordLine(kMarkerConflict, u"l", u"r", longState).size(), 6 + 511u);
  const std::u16string longPath(5000, u'p');
  EXPECT_EQ(formatRecordLine(kMarkerConflict, longPath, u"r", u"").size(), 4095u);
}

TEST(LogRecordTest, LinesAreCutToTheLineBuffer) {
  const std::u16string longPath(3000, u'p');
  struct Case {
    LogFormat format;
    size_t lineBytes;  // bytes of the line without its line end
  };
  const Case cases[] = {
      {kLogFormatText, 4095},
      {kLogFormatTextUnicode, 2 * 4095},
      {kLogFormatCsv, 4095},
      {kLogFormatCsvUnicode, 2 * 4095},
  };
  for (const Case& c : cases) {
    MemoryOutput out;
    std::u16string state;
    writeLogRecord(out.context(c.format), kMarkerCopiedNewRight, longPath, longPath, state);
    const size_t endBytes = c.format == kLogFormatText || c.format == kLogFormatCsv ? 2 : 4;
    EXPECT_EQ(out.bytes.size(), c.lineBytes + endBytes) << c.format;
  }
}

TEST(LogRecordTest, OverlongHtmlCellsKeepWholeEntities) {
  // 200 spaces escape to 1200 characters: the path cell keeps 170 whole "&nbsp;".
  MemoryOutput out;
  std::u16string state;
  writeLogRecord(out.context(kLogFormatHtmlUtf8), kMarkerCopiedNewRight, std::u16string(200, u' '),
                 u"r", state);
  std::string nbsp;
  for (int i = 0; i < 170; ++i) nbsp += "&nbsp;";
  EXPECT_EQ(out.bytes, "<tr><td>+&gt;</td><td>" + nbsp + "</td><td>r</td><td>OK</td></tr>\r\n");
}

TEST(LogHeadTest, StopsAtTheFirstFailedWriteWithTheMappedCode) {
  struct Case {
    int failFrom;
    ErrorCode failure;
    ErrorCode expected;
    size_t linesWritten;
  };
  const Case cases[] = {
      {0, kErrorInvalidMenuHandle, kErrorDiskFull, 0},
      {2, kErrorVirusInfected, kErrorReadFault, 1},
      {4, kErrorCancelled, kErrorRequestAborted, 2},
      {3, kErrorAccessDenied, kErrorAccessDenied, 1},  // the line end of line 2 failed
      {-1, kSuccess, kSuccess, 5},
  };
  for (const Case& c : cases) {
    MemoryOutput out;
    out.failFrom = c.failFrom;
    out.failure = c.failure;
    EXPECT_EQ(writeLogHead(out.context(kLogFormatHtml), kHead), c.expected) << c.failFrom;
    size_t lines = 0;
    for (size_t at = out.bytes.find("\r\n"); at != std::string::npos;
         at = out.bytes.find("\r\n", at + 2)) {
      ++lines;
    }
    EXPECT_EQ(lines, c.linesWritten) << c.failFrom;
    EXPECT_EQ(out.writes, c.failFrom < 0 ? 10 : c.failFrom + 1) << "no write after a failure";
  }
}

TEST(LogHeadTest, HtmlHeadTextsCannotAddMarkup) {
  MemoryOutput out;
  const LogHeadTexts head{u"<b>Tom & \"Jerry\" \u00C4", u"1.2.2024  10:00:00", u"Job", u"Created at",
                          u"<i>State"};
  ASSERT_EQ(writeLogHead(out.context(kLogFormatHtmlUtf8), head), kSuccess);
  EXPECT_NE(out.bytes.find("\r\nJob &lt;b&gt;Tom &amp; &quot;Jerry&quot; \xC3\x84<br>\r\n"),
            std::string::npos)
      << out.bytes;
  EXPECT_NE(out.bytes.find("<th>&lt;i&gt;State</th>"), std::string::npos);
  MemoryOutput text;
  ASSERT_EQ(writeLogHead(text.context(kLogFormatText), head), kSuccess);
  EXPECT_EQ(text.bytes.rfind("Job <b>Tom & \"Jerry\" \xC4\r\n", 0), 0u) << "only HTML escapes";
}

TEST(LogHeadTest, FailedRecordWritesAreIgnored) {
  MemoryOutput out;
  out.failFrom = 0;
  std::u16string state = u"x";
  writeLogRecord(out.context(kLogFormatText), kMarkerConflict, u"a", u"b", state);
  writeLogRecord(out.context(kLogFormatText), kMarkerConflict, u"a", u"b", state);
  EXPECT_EQ(out.writes, 2);  // both records attempted, no line end after a failed line
  EXPECT_TRUE(state.empty());
}

TEST(LogWriteTest, ErrorMapping) {
  const std::pair<ErrorCode, ErrorCode> cases[] = {
      {0, 112}, {1401, 112}, {225, 30}, {1223, 1235}, {5, 5}, {112, 112},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(mapLogWriteError(in), out) << in;
}

TEST(LogWriteTest, LargeWritesGoOutInPieces) {
  struct Counter {
    std::vector<size_t> pieces;
    static ErrorCode write(void* self, const void*, size_t size) noexcept {
      static_cast<Counter*>(self)->pieces.push_back(size);
      return kSuccess;
    }
  } counter;
  const std::string big(kLogWritePiece * 2 + 5, 'x');
  ASSERT_EQ(writeLogBytes(LogOutput{&counter, &Counter::write}, big.data(), big.size()), kSuccess);
  EXPECT_EQ(counter.pieces, (std::vector<size_t>{kLogWritePiece, kLogWritePiece, 5}));
}

}  // namespace
}  // namespace crvl
