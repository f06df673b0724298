#include "logs/job_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs/marked_text.h"
#include "jobs/profile_store.h"
#include "logs/log_index.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/text.h"
#include "os_traits.h"
#include "platform/test_folder.h"

namespace crvl {
namespace {

namespace fs = std::filesystem;

// 2024-08-15 13:45:30 UTC as FILETIME.
uint64_t augustFifteenth() {
  CalendarTime t;
  t.year = 2024;
  t.month = 8;
  t.day = 15;
  t.hour = 13;
  t.minute = 45;
  t.second = 30;
  uint64_t ft = 0;
  EXPECT_TRUE(calendarToFileTime(t, &ft));
  return ft;
}

std::vector<std::string> lines(const std::string& bytes) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", start)) {
    out.push_back(bytes.substr(start, at - start));
    start = at + 2;
  }
  EXPECT_EQ(start, bytes.size()) << "every index line ends with CR LF";
  return out;
}

class JobLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logs_ = folder_.path("logs/deeper");
    { std::ofstream(root_ / "s.ini", std::ios::binary) << "[CRVL]\r\n"; }
    store_.openStore((root_ / "s.ini").u16string(), kStoreOwnFile);
    store_.putText("CRVL", "Log", logs_);
  }
  JobLogSettings settings(uint64_t start = 0) {
    JobLogSettings s;
    s.store = &store_;
    s.startTime = start;
    return s;
  }

  std::string indexBytes() {
    std::string bytes;
    (void)platform::readWholeFile(logIndexPath(logs_), bytes);
    return bytes;
  }

  // One run of `job` with one record.
  std::u16string run(std::u16string_view job, uint64_t start, LogFormat format = 0) {
    JobLogSettings s = settings(start);
    s.format = format;
    RunLog log(s, job);
    std::u16string state;
    writeLogRecord(log.sink(), kMarkerCopiedNewRight, u"a", u"b", state);
    log.finish();
    return log.path();
  }

  testing::TestFolder folder_;
  const fs::path& root_ = folder_.root();
  std::u16string logs_;
  ProfileStore store_;
};

TEST_F(JobLogTest, RunCreatesFolderLogAndIndexLine) {
  store_.putInt("CRVL", "ExpMode", 1);
  const std::u16string path = run(u"Backup", augustFifteenth());
  EXPECT_EQ(fs::path(path).filename().u16string(), u"Backup135863917406.txt");
  EXPECT_EQ(fs::path(path).parent_path(), fs::path(logs_));
  std::string log;
  ASSERT_EQ(platform::readWholeFile(path, log), kSuccess);
  EXPECT_EQ(log.rfind("Job Backup\r\nCreated at ", 0), 0u) << log;
  EXPECT_NE(log.find("\r\n\r\n+> a b OK\r\n"), std::string::npos) << log;

  const std::vector<std::string> index = lines(indexBytes());
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].rfind("Backup;0;135863917406;", 0), 0u) << index[0];
  const LogIndexEntry entry = parseLogIndexLine(index[0]);
  EXPECT_EQ(entry.jobName, u"Backup");
  EXPECT_EQ(entry.stamp, 135863917406u);
  EXPECT_EQ(entry.logPath, path);
}

// Records gather in memory while they succeed; one that carries an error brings them
// all to disk at once, in their order, and the end brings the rest.
TEST_F(JobLogTest, RecordsGatherUntilAFailureOrTheEnd) {
  store_.putInt("CRVL", "ExpMode", 1);
  RunLog log(settings(augustFifteenth()), u"Gather");
  const auto onDisk = [&] {
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(log.path(), bytes), kSuccess);
    return bytes;
  };
  const std::string head = onDisk();
  EXPECT_EQ(head.rfind("Job Gather\r\n", 0), 0u) << head;
  std::u16string state;
  writeLogRecord(log.sink(), kMarkerCopiedNewRight, u"a1", u"b1", state);
  writeLogRecord(log.sink(), kMarkerCopiedNewRight, u"a2", u"b2", state);
  EXPECT_EQ(onDisk(), head);
  state = u"Access is denied.";
  writeLogRecord(log.sink(), kMarkerCopiedNewRight, u"a3", u"b3", state);
  EXPECT_EQ(onDisk(), head + "+> a1 b1 OK\r\n+> a2 b2 OK\r\n+> a3 b3 Access is denied.\r\n");
  writeLogRecord(log.sink(), kMarkerFileDeleted, std::nullopt, u"b4", state);
  log.finish();
  EXPECT_EQ(onDisk().substr(head.size()), "+> a1 b1 OK\r\n+> a2 b2 OK\r\n+> a3 b3 Access is denied.\r\n--  b4 OK\r\n");
}

TEST_F(JobLogTest, FormatComesFromExpModeWithOutOfRangeValuesAsHtmlUnicode) {
  const std::pair<const char*, std::string> cases[] = {
      {"9", "\xFF\xFE<\0h\0"}, {"0", "\xFF\xFE<\0h\0"}, {"-2", "\xFF\xFE<\0h\0"},
      {"7", "\xEF\xBB\xBF<html>"}, {"3", "Job "},
  };
  uint64_t start = augustFifteenth();
  for (const auto& [stored, head] : cases) {
    store_.putString("CRVL", "ExpMode", stored);
    const std::u16string path = run(u"F", start += kFileTimeSecond);
    std::string log;
    ASSERT_EQ(platform::readWholeFile(path, log), kSuccess) << stored;
    EXPECT_EQ(log.substr(0, head.size()), head) << stored;
  }
}

TEST_F(JobLogTest, RunsInTheSameSecondGetNumberedNames) {
  const uint64_t start = augustFifteenth();
  const std::u16string first = run(u"Backup", start);
  const std::u16string second = run(u"Backup", start);
  const std::u16string third = run(u"Backup", start);
  EXPECT_EQ(fs::path(first).filename().u16string(), u"Backup135863917406.htm");
  EXPECT_EQ(fs::path(second).filename().u16string(), u"1.htm");
  EXPECT_EQ(fs::path(third).filename().u16string(), u"2.htm");
  for (const auto& p : {first, second, third}) EXPECT_TRUE(platform::pathExists(p));
  const std::vector<LogIndexEntry> listed = listJobLogs(logs_);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].logPath, third);  // newest first
  EXPECT_EQ(listed[2].logPath, first);
}

TEST_F(JobLogTest, JobNamesWithSeparatorsStayOneFileInTheLogFolder) {
  struct Case {
    std::u16string job;
    std::u16string fileStart;  // the log file name before the stamp
  };
  const std::u16string slashOnly = os::kBackslashSeparates ? u"_" : u"\\";  // '\' is a name character on POSIX
  const Case cases[] = {
      {u"a/b", u"a_b"},
      {u"../../x", u".._.._x"},
      {u"..\\..\\x", u".." + slashOnly + u".." + slashOnly + u"x"},
      {u"/rooted", u"_rooted"},
      {u"deep/er/", u"deep_er_"},
  };
  store_.putInt("CRVL", "ExpMode", kLogFormatText);
  uint64_t start = augustFifteenth();
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::toUtf8(c.job));
    const std::u16string path = run(c.job, start += kFileTimeSecond);
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(logs_));
    EXPECT_EQ(fs::path(path).filename().u16string().rfind(c.fileStart, 0), 0u) << platform::toUtf8(path);
    std::string log;
    ASSERT_EQ(platform::readWholeFile(path, log), kSuccess);
    EXPECT_EQ(log.rfind("Job " + platform::toUtf8(c.job) + "\r\n", 0), 0u) << "the head names the job as it is";
    const std::vector<LogIndexEntry> latest = readLogIndex(logIndexPath(logs_));
    ASSERT_FALSE(latest.empty());
    EXPECT_EQ(latest.back().jobName, c.job);
    EXPECT_EQ(latest.back().logPath, path);
  }
  // Every index line went to LogFolder/Log.txt, and nothing was written beside or
  // below the log folder except the logs themselves.
  EXPECT_EQ(readLogIndex(logIndexPath(logs_)).size(), std::size(cases));
  size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root_ / "logs")) {
    EXPECT_FALSE(entry.is_directory() && entry.path() != fs::path(logs_)) << entry.path();
    ++entries;
  }
  EXPECT_EQ(entries, std::size(cases) + 3) << "the logs, the index, its lock file and the folder itself";
}

TEST_F(JobLogTest, NewLogFilesNeverReplaceAnExistingFile) {
  const std::u16string taken = (root_ / "taken.txt").u16string();
  ASSERT_EQ(platform::writeWholeFile(taken, "somebody's log"), kSuccess);
  platform::File file;
  EXPECT_EQ(createNewLogFile(taken, kLogFormatText, &file), kErrorFileExists);
  EXPECT_FALSE(file.isOpen());
  std::string bytes;
  ASSERT_EQ(platform::readWholeFile(taken, bytes), kSuccess);
  EXPECT_EQ(bytes, "somebody's log");
  const std::u16string fresh = (root_ / "new" / "log.htm").u16string();
  ASSERT_EQ(createNewLogFile(fresh, kLogFormatHtmlUtf8, &file), kSuccess);
  file.close();
  ASSERT_EQ(platform::readWholeFile(fresh, bytes), kSuccess);
  EXPECT_EQ(bytes, "\xEF\xBB\xBF");
}

// Runs of one job that begin in the same second and at the same moment: each gets a
// log file of its own holding its own head and records.
TEST_F(JobLogTest, LogsBegunTogetherGetFilesOfTheirOwn) {
  constexpr int kRuns = 6;
  constexpr int kRounds = 10;
  // Each run reads the settings through a store of its own, as separate runs do.
  store_.putInt("CRVL", "ExpMode", kLogFormatText);
  ASSERT_EQ(store_.flushStore(), kSuccess);
  for (int round = 0; round < kRounds; ++round) {
    const uint64_t start = augustFifteenth() + static_cast<uint64_t>(round) * kFileTimeSecond;
    std::vector<std::unique_ptr<ProfileStore>> stores;
    std::vector<std::unique_ptr<JobLog>> logs;
    for (int i = 0; i < kRuns; ++i) {
      stores.push_back(std::make_unique<ProfileStore>());
      stores.back()->openStore((root_ / "s.ini").u16string(), kStoreOwnFile);
      JobLogSettings s;
      s.store = stores.back().get();
      s.startTime = start;
      logs.push_back(std::make_unique<JobLog>(s, u"Same"));
    }
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready < kRuns) std::this_thread::yield();
        EXPECT_EQ(logs[i]->begin(), kSuccess);
        std::u16string state;
        writeLogRecord(logs[i]->sink(), kMarkerCopiedNewRight, u"run" + platform::fromUtf8(std::to_string(i)), u"r",
                       state);
      });
    }
    for (auto& t : threads) t.join();
    std::set<std::u16string> paths;
    for (int i = 0; i < kRuns; ++i) {
      EXPECT_TRUE(logs[i]->fileCreated());
      logs[i]->end();
      paths.insert(logs[i]->path());
      std::string bytes;
      ASSERT_EQ(platform::readWholeFile(logs[i]->path(), bytes), kSuccess);
      EXPECT_EQ(bytes.rfind("Job Same\r\n", 0), 0u) << bytes;
      EXPECT_NE(bytes.find("run" + std::to_string(i) + " r"), std::string::npos) << bytes;
      EXPECT_EQ(bytes.find("Job Same", 1), std::string::npos) << "one head per file";
    }
    EXPECT_EQ(paths.size(), static_cast<size_t>(kRuns)) << "round " << round;
  }
}

TEST_F(JobLogTest, FileCreatedTellsWhetherTheLogExists) {
  // A regular file where the log folder should be: no log can be made.
  { std::ofstream(root_ / "blocker") << "x"; }
  struct Case {
    const char* what;
    std::u16string folder;
    bool created;
  } cases[] = {
      {"folder made on the way", logs_, true},
      {"folder under a file", (root_ / "blocker" / "logs").u16string(), false},
  };
  for (const Case& c : cases) {
    store_.putText("CRVL", "Log", c.folder);
    RunLog log(settings(augustFifteenth()), u"Job");
    EXPECT_EQ(log.fileCreated(), c.created) << c.what;
    EXPECT_EQ(log.beginResult() == kSuccess, c.created) << c.what;
    log.finish();
    EXPECT_EQ(log.fileCreated(), c.created) << c.what << ": still known after the end";
    EXPECT_EQ(platform::pathExists(log.path()), c.created) << c.what;
  }
}

TEST_F(JobLogTest, LoggingSwitchedOffWritesNoLogAndNoIndexLine) {
  store_.putInt("CRVL", "Opt", 4 | 1);
  RunLog log(settings(augustFifteenth()), u"Backup");
  std::u16string state = u"failed\r\n";
  writeLogRecord(log.sink(), kMarkerFileDeleted, u"a", std::nullopt, state);
  EXPECT_TRUE(state.empty());
  log.finish();
  EXPECT_TRUE(log.path().empty());
  EXPECT_FALSE(fs::exists(fs::path(logs_))) << "not even the folder is created";
}

TEST_F(JobLogTest, EnabledStateIsReadAtEveryStep) {
  std::atomic<uint32_t> options{0};
  JobLogSettings s = settings(augustFifteenth());
  s.appOptions = &options;
  s.format = kLogFormatText;
  {
    RunLog log(s, u"Backup");
    std::u16string state;
    writeLogRecord(log.sink(), kMarkerCopiedNewLeft, u"kept", u"r", state);
    options = 4;  // switched off during the run: later records and the end are skipped
    state = u"lost";
    writeLogRecord(log.sink(), kMarkerCopiedNewLeft, u"skipped", u"r", state);
    EXPECT_TRUE(state.empty());
    log.finish();
    std::string bytes;
    ASSERT_EQ(platform::readWholeFile(log.path(), bytes), kSuccess);
    EXPECT_NE(bytes.find("kept"), std::string::npos);
    EXPECT_EQ(bytes.find("skipped"), std::string::npos);
  }
  // The line written when the log began stays: the log exists and is listed.
  EXPECT_EQ(lines(indexBytes()).size(), 1u);
}

TEST_F(JobLogTest, FailedLogCreationStillGetsAnIndexLineThatCompactionDrops) {
  JobLogSettings s = settings(augustFifteenth());
  RunLog ok(s, u"Good");
  ok.finish();
  RunLog bad(s, std::u16string(u"bad\0name", 8));
  EXPECT_EQ(bad.beginResult(), kErrorInvalidName);
  bad.finish();
  ASSERT_EQ(lines(indexBytes()).size(), 2u);
  size_t missing = 0;
  const std::vector<LogIndexEntry> listed = listJobLogs(logs_, &missing);
  EXPECT_EQ(missing, 1u);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].jobName, u"Good");
  EXPECT_EQ(lines(indexBytes()).size(), 1u);
}

TEST_F(JobLogTest, DeletedLogDisappearsFromTheIndexAndOnlyThatLine) {
  uint64_t start = augustFifteenth();
  const std::u16string a = run(u"A", start);
  const std::u16string b = run(u"B", start += kFileTimeSecond);
  const std::u16string c = run(u"C", start += kFileTimeSecond);
  const std::vector<std::string> before = lines(indexBytes());
  ASSERT_EQ(before.size(), 3u);
  ASSERT_EQ(platform::deleteFile(b), kSuccess);

  size_t missing = 0;
  const std::vector<LogIndexEntry> listed = listJobLogs(logs_, &missing);
  EXPECT_EQ(missing, 1u);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].jobName, u"C");
  EXPECT_EQ(listed[1].jobName, u"A");
  EXPECT_EQ(lines(indexBytes()), (std::vector<std::string>{before[0], before[2]}));
  EXPECT_FALSE(fs::exists(fs::path(logs_) / "1.txt")) << "the temporary file is gone";

  // A listing with nothing missing leaves the index byte for byte as it was.
  const std::string compacted = indexBytes();
  (void)listJobLogs(logs_, &missing);
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(indexBytes(), compacted);
}

TEST_F(JobLogTest, JobNamesOutsideTheCodePageAreStoredAsUtf8) {
  uint64_t start = augustFifteenth();
  const std::u16string names[] = {u"Daten \u4E2D\u6587", u"a;b", u"Caf\u00E9"};
  for (const auto& name : names) (void)run(name, start += kFileTimeSecond);
  const std::vector<std::string> index = lines(indexBytes());
  ASSERT_EQ(index.size(), 3u);
  EXPECT_EQ(index[0].rfind("\xEF\xBB\xBF" "Daten \xE4\xB8\xAD\xE6\x96\x87;0;", 0), 0u);
  EXPECT_EQ(index[1].rfind("\"a;b\";0;", 0), 0u);
  EXPECT_EQ(index[2].rfind("Caf\xE9;0;", 0), 0u);  // round-trips through 1252
  const std::vector<LogIndexEntry> listed = listJobLogs(logs_);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[2].jobName, names[0]);
  EXPECT_EQ(listed[1].jobName, names[1]);
  EXPECT_EQ(listed[0].jobName, names[2]);
}

TEST_F(JobLogTest, LatestLogOfAJob) {
  uint64_t start = augustFifteenth();
  (void)run(u"Backup", start);
  (void)run(u"Other", start += kFileTimeSecond);
  const std::u16string latest = run(u"Backup", start += kFileTimeSecond);
  (void)run(u"Other", start += kFileTimeSecond);
  EXPECT_EQ(findLatestJobLog(logs_, u"BACKUP"), latest);
  EXPECT_TRUE(findLatestJobLog(logs_, u"Missing").empty());
}

TEST_F(JobLogTest, RunsEndingTogetherNeverInterleaveIndexLines) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 40;
  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kPerThread; ++i) {
      const std::u16string path = logs_ + u"/" + std::u16string(1200, static_cast<char16_t>(u'a' + t)) +
                                  u"." + std::u16string(i + 1, u'x');
      expected.insert(formatLogIndexLine(std::u16string(1, static_cast<char16_t>(u'A' + t)), i, path));
    }
  }
  ASSERT_EQ(platform::createFolderChain(logs_), kSuccess);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kPerThread; ++i) {
        const std::u16string path = logs_ + u"/" +
                                    std::u16string(1200, static_cast<char16_t>(u'a' + t)) + u"." +
                                    std::u16string(i + 1, u'x');
        EXPECT_EQ(appendLogIndexEntry(logs_, std::u16string(1, static_cast<char16_t>(u'A' + t)), i,
                                      path),
                  kSuccess);
      }
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  const std::vector<std::string> index = lines(indexBytes());
  EXPECT_EQ(index.size(), static_cast<size_t>(kThreads * kPerThread));
  EXPECT_EQ(std::set<std::string>(index.begin(), index.end()), expected);
}

TEST_F(JobLogTest, MalformedIndexLinesNeverCrash) {
  ASSERT_EQ(platform::createFolderChain(logs_), kSuccess);
  const std::string garbage = std::string("\r\n;;;;\r\n\"unterminated;0;1;x\n'\r") +
                              std::string(5000, ';') + "\n\xEF\xBB\xBF\n\xEF\xBB\n" +
                              "a;0;99999999999999999999999;\xEF\xBB\xBF\xFF\xFE\xC0\n" +
                              std::string("\0\0;\0;", 5) + "\r\nname;0;12;%UNSET_MACRO%/x\r\n" +
                              "b;0;-5;" + std::string(3000, 'p') + "\r\n";
  ASSERT_EQ(platform::writeWholeFile(logIndexPath(logs_), garbage), kSuccess);
  const std::vector<LogIndexEntry> all = readLogIndex(logIndexPath(logs_));
  EXPECT_GE(all.size(), 8u);
  for (const auto& entry : all) EXPECT_LE(entry.jobName.size(), kLogIndexNameChars);
  const auto a = std::find_if(all.begin(), all.end(), [](const auto& e) { return e.jobName == u"a"; });
  ASSERT_NE(a, all.end());
  EXPECT_EQ(findLatestJobLog(logs_, u"A"), a->logPath);
  size_t missing = 0;
  EXPECT_TRUE(listJobLogs(logs_, &missing).empty());
  EXPECT_EQ(missing, all.size());
  EXPECT_TRUE(indexBytes().empty());
}

TEST_F(JobLogTest, DefaultFolderIsStoredWithTheAppDataMacro) {
  if (os::kWindows) GTEST_SKIP() << "the application-data folder is the system's own here";
  const auto saved = platform::environmentVariable(u"XDG_CONFIG_HOME");
  platform::setEnvironmentVariable(u"XDG_CONFIG_HOME", (root_ / "config").u16string());
  store_.deleteKey("CRVL", "Log");
  const std::u16string path = run(u"Backup", augustFifteenth());
  const fs::path expectedFolder = root_ / "config" / "Halberic" / "CRVL" / "Log";
  EXPECT_EQ(fs::path(path).parent_path(), expectedFolder);
  std::string index;
  EXPECT_EQ(platform::readWholeFile(logIndexPath(expectedFolder.u16string()), index), kSuccess);
  EXPECT_EQ(index.rfind("Backup;0;135863917406;%APPDATA%/Halberic/CRVL/Log/Backup135863917406.htm\r\n", 0),
            0u)
      << index;
  platform::setEnvironmentVariable(u"XDG_CONFIG_HOME", saved);
}

// Index lines compared byte for byte with lines written by hand: ANSI names, a name
// outside the code page (EF BB BF + UTF-8 in both the name and the path), a name with
// ';' and one with quotes; then read back.
TEST(LogIndexTest, LinesMatchTheGoldenIndex) {
  struct Row {
    std::u16string_view name;
    PackedDateTime stamp;
    std::u16string_view path;
  };
  const Row rows[] = {
      {u"Backup", 135863917406u, u"C:/logs/Backup135863917406.htm"},
      {u"Daten \u4E2D\u6587", 135863917407u, u"C:/logs/Daten \u4E2D\u6587135863917407.htm"},
      {u"a;b", 135863917408u, u"C:/logs/a;b135863917408.csv"},
      {u"Caf\u00E9 \"x\"", 135863917409u, u"C:/logs/1.txt"},
  };
  std::string written;
  for (const Row& row : rows) written += formatLogIndexLine(row.name, row.stamp, row.path) + "\r\n";
  std::ifstream in(fs::path(CRVL_SOURCE_DIR) / "src" / "logs" / "testdata" / "index.txt",
                   std::ios::binary);
  const std::string golden((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(written, golden);

  const fs::path copy = fs::temp_directory_path() / "crvl_index_golden.txt";
  ASSERT_EQ(platform::writeWholeFile(copy.u16string(), golden), kSuccess);
  const std::vector<LogIndexEntry> read = readLogIndex(copy.u16string());
  fs::remove(copy);
  ASSERT_EQ(read.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(read[i].jobName, rows[i].name) << i;
    EXPECT_EQ(read[i].stamp, rows[i].stamp) << i;
    EXPECT_EQ(read[i].storedPath, rows[i].path) << i;
  }
}

TEST(LogStampTest, ShownInLocalTimeWithTwoSpaces) {
  const PackedDateTime valid = 135863917406u;  // 2024-08-15 13:45:30
  const std::u16string shown = formatLogStamp(valid);
  EXPECT_NE(shown.find(u"  "), std::u16string::npos) << "date, two spaces, time";
  EXPECT_NE(shown.find(u":30"), std::u16string::npos);
  EXPECT_TRUE(formatLogStamp(valid | (15ull << 22)).empty()) << "month 15";
  EXPECT_TRUE(formatLogStamp(0).empty());
}

TEST_F(JobLogTest, CreatingLogFiles) {
  const std::u16string base = root_.u16string();
  // A read-only log of the same name is replaced (cleared and deleted when the system
  // refuses to open it for writing).
  const std::u16string readOnly = base + u"/ro.htm";
  ASSERT_EQ(platform::writeWholeFile(readOnly, "old contents"), kSuccess);
  ASSERT_EQ(platform::setFileAttributes(readOnly, platform::kAttrReadOnly), kSuccess);
  struct Case {
    std::u16string path;
    LogFormat format;
    ErrorCode result;
    std::string contents;
  };
  const Case cases[] = {
      {readOnly, kLogFormatHtmlUnicode, kSuccess, "\xFF\xFE"},
      {base + u"/a/b/c/new.htm", kLogFormatHtmlUtf8, kSuccess, "\xEF\xBB\xBF"},
      {base + u"/plain.txt", kLogFormatText, kSuccess, ""},
      {base + u"/index-copy.txt", 0, kSuccess, ""},
      {base + std::u16string(u"/bad\0.txt", 9), kLogFormatText, kErrorInvalidName, ""},
      {base + u"/s.ini/below.txt", kLogFormatText, kErrorPathNotFound, ""},  // parent is a file
  };
  for (const Case& c : cases) {
    platform::File file;
    const ErrorCode result = createLogFile(c.path, c.format, &file);
    if (c.result == kErrorPathNotFound) {
      EXPECT_NE(result, kSuccess);
      EXPECT_FALSE(file.isOpen());
      continue;
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(file.isOpen(), c.result == kSuccess);
    if (c.result != kSuccess) continue;
    file.close();
    std::string bytes;
    ASSERT_EQ(platform::readWholeFile(c.path, bytes), kSuccess);
    EXPECT_EQ(bytes, c.contents);
  }
}

TEST_F(JobLogTest, MissingIndexIsLeftAlone) {
  size_t dropped = 7;
  EXPECT_EQ(compactLogIndex(logIndexPath(logs_), &dropped), kSuccess);
  EXPECT_EQ(dropped, 0u);
  EXPECT_FALSE(fs::exists(fs::path(logs_)));
  EXPECT_TRUE(listJobLogs(logs_).empty());
}

}  // namespace
}  // namespace crvl
