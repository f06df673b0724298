#include "jobs/job.h"

#include <gtest/gtest.h>

#include <string>

#include "jobs/filter_format.h"
#include "jobs/job_register.h"
#include "jobs/path_macros.h"
#include "jobs/profile_store.h"
#include "platform/test_folder.h"

namespace crvl {
namespace {

using crvl::testing::TestFolder;

class JobFileTest : public ::testing::Test {
 protected:
  void SetUp() override { settings_.openStore(folder_.path("settings.ini"), kStoreOwnFile); }

  // Loads the job file `name` after writing `bytes` into it.
  Job loadFrom(const std::string& bytes, const std::string& name = "j.job") {
    folder_.write(name, bytes);
    Job job;
    job.jobFilePath = folder_.path(name);
    EXPECT_EQ(loadJob(job, settings_), kSuccess);
    return job;
  }

  TestFolder folder_;
  ProfileStore settings_;
};

TEST_F(JobFileTest, MirrorJobIsWrittenByteForByte) {
  Job job;
  job.optionFlags = DefaultMirrorFlags;
  job.folderList = {u"+C:\\Data;E:\\Backup\\Data", u"-C:\\Data\\Temp;E:\\Backup\\Data\\Temp"};
  job.jobFilePath = folder_.path("Mirror.job");
  ASSERT_EQ(saveJob(job, settings_), kSuccess);
  EXPECT_EQ(folder_.read("Mirror.job"),
            "[CRVL]\r\n"
            "Option=0;+>;=>;->;_>;?;!=;d;d+\r\n"
            "Filter=\r\n"
            "\r\n"
            "[Folder]\r\n"
            "1=+C:\\Data;E:\\Backup\\Data\r\n"
            "2=-C:\\Data\\Temp;E:\\Backup\\Data\\Temp\r\n");
}

TEST_F(JobFileTest, OptionValueRules) {
  struct Case {
    const char* file;
    uint32_t filterSwitch;
    OptionFlags flags;
  } cases[] = {
      {"[CRVL]\r\nOption=1;d;b;xx;=>\r\n", 1, 0x809},  // unknown token ignored
      {"[CRVL]\r\nOption=0;d;;=>\r\n", 0, 0x1},        // ";;" ends the scan
      {"[CRVL]\r\nFilter=\r\n", 0, DefaultMirrorFlags}, // no option: the Mirror preset
      {"[CRVL]\r\nOption=0\r\n", 0, DefaultMirrorFlags},
      {"[CRVL]\r\nOption=0;D;B;d\r\n", 0, 0x1},         // tokens are case-sensitive
      {"[CRVL]\r\nOption=1;\"d;b\";nd\r\n", 1, 0x10},   // a quoted item is one token
      {"[CRVL]\r\nOption=99999999999999999999;d\r\n", 0xFFFFFFFF, 0x1},
      {"[CRVL]\r\nOption=-1;d\r\n", 0xFFFFFFFF, 0x1},
      {"[CRVL]\r\nOption=on;2s;1h\r\n", 0, 0x60},
      {"[CRVL]\r\nOption=1;<+;+>;<=;=>;<-;->;<_;_>;?;!=;d;d+;b;nd;2s;1h\r\n", 1, kAllOptions},
  };
  for (const Case& c : cases) {
    const Job job = loadFrom(c.file);
    EXPECT_EQ(job.filterSwitch, c.filterSwitch) << c.file;
    EXPECT_EQ(job.optionFlags, c.flags) << c.file;
  }
  EXPECT_EQ(modeForFlags(loadFrom("[CRVL]\r\n").optionFlags), kModeMirror);
}

TEST_F(JobFileTest, FolderEntriesAreReadInFileOrder) {
  const Job job = loadFrom(
      "[Folder]\r\n"
      "7=+C:\\One;D:\\One\r\n"
      "2=-C:\\One\\Tmp;D:\\One\\Tmp\r\n"
      "no equals sign here\r\n"
      "5=\r\n"
      "x=C:\\A;D:\\B\r\n"
      "[CRVL]\r\nOption=0;d\r\n");
  const std::vector<std::u16string> list = {u"+C:\\One;D:\\One", u"-C:\\One\\Tmp;D:\\One\\Tmp",
                                            u"C:\\A;D:\\B"};
  EXPECT_EQ(job.folderList, list);
  // A value without marker loses its first character all the same.
  const std::vector<std::u16string> included = {u"C:\\One;D:\\One", u":\\A;D:\\B"};
  const std::vector<std::u16string> excluded = {u"C:\\One\\Tmp;D:\\One\\Tmp"};
  EXPECT_EQ(job.includedPairs, included);
  EXPECT_EQ(job.excludedPairs, excluded);
  const FolderSides sides = splitFolderPair(job.includedPairs[0]);
  EXPECT_EQ(sides.left, u"C:\\One");
  EXPECT_EQ(sides.right, u"D:\\One");
}

TEST_F(JobFileTest, SavingKeepsWhatTheProgramDoesNotKnow) {
  const std::string original =
      "[CRVL]\r\n"
      "Comment=kept\r\n"
      "Option=0;d;zz\r\n"
      "Filter=+*.txt;-\r\n"
      "Later=also kept\r\n"
      "\r\n"
      "[Folder]\r\n"
      "9=+A;B\r\n"
      "\r\n"
      "[Mine]\r\n"
      "k=v\r\n";
  Job job = loadFrom(original);
  job.optionFlags |= kOptCompareContent;
  job.folderList.push_back(u"-A\\x;B\\x");
  ASSERT_EQ(saveJob(job, settings_), kSuccess);
  EXPECT_EQ(folder_.read("j.job"),
            "[CRVL]\r\n"
            "Comment=kept\r\n"
            "Option=0;d;b;zz\r\n"
            "Filter=+*.txt;-\r\n"
            "Later=also kept\r\n"
            "\r\n"
            "[Mine]\r\n"
            "k=v\r\n"
            "\r\n"
            "[Folder]\r\n"
            "1=+A;B\r\n"
            "2=-A\\x;B\\x\r\n");
}

TEST_F(JobFileTest, UnknownOptionTokensAreKeptInTheirOrder) {
  struct Case {
    const char* option;
    OptionFlags flags;
    std::vector<std::string> unknown;
    const char* written;
  } cases[] = {
      {"1;d;zz;b;yy", kOptRecurse | kOptCompareContent, {"zz", "yy"}, "1;d;b;zz;yy"},
      {"0;new>;=>;D", kOptUpdateRight, {"new>", "D"}, "0;=>;new>;D"},
      {"0;\"x;y\";d", kOptRecurse, {"x;y"}, "0;d;\"x;y\""},  // quoted again when written
      {"0;zz;;yy;d", 0, {"zz"}, "0;zz"},                     // the empty item ends the scan
      {"0;d;d;b", kOptRecurse | kOptCompareContent, {}, "0;d;b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    Job job = loadFrom(std::string("[CRVL]\r\nOption=") + c.option + "\r\n");
    EXPECT_EQ(job.optionFlags, c.flags == 0 ? DefaultMirrorFlags : c.flags);
    EXPECT_EQ(job.unknownOptionTokens, c.unknown);
    if (c.flags == 0) job.optionFlags = 0;  // write exactly what was read
    ASSERT_EQ(saveJob(job, settings_), kSuccess);
    std::string option;
    ProfileStore store;
    store.openStore(folder_.path("j.job"), kStoreOwnFile);
    EXPECT_TRUE(store.getString("CRVL", "Option", nullptr, option));
    EXPECT_EQ(option, c.written);
    // Read again, the same tokens come back.
    Job again;
    readJobFile(again, store);
    EXPECT_EQ(again.unknownOptionTokens, c.unknown);
  }
}

TEST_F(JobFileTest, WrittenFilesReadBackToTheSameBytes) {
  Job job;
  job.optionFlags = 0x3FC81 | kOptTwoSecondTolerance;
  job.filterSwitch = 1;
  parseFilter("c;aRh;\"+*.jpg;*.png\";dZ7;lK10;-~*;lM5", job.filter);
  job.folderList = {u"+C:\\\u0416\u00E9;\\\\server\\share", u"->|1234|C:\\a;?D:\\b"};
  job.jobFilePath = folder_.path("rt.job");
  ASSERT_EQ(saveJob(job, settings_), kSuccess);
  const std::string first = folder_.read("rt.job");

  Job again;
  again.jobFilePath = folder_.path("rt.job");
  ASSERT_EQ(loadJob(again, settings_), kSuccess);
  EXPECT_EQ(again.optionFlags, job.optionFlags);
  EXPECT_EQ(again.filterSwitch, 1u);
  EXPECT_EQ(again.folderList, job.folderList);
  EXPECT_EQ(again.filter, job.filter);
  folder_.remove("rt.job");
  ASSERT_EQ(saveJob(again, settings_), kSuccess);
  EXPECT_EQ(folder_.read("rt.job"), first);
}

// A job file saved as UTF-8 keeps its filter in UTF-8 when it is saved again, and an
// attribute both required and excluded keeps both halves.
TEST_F(JobFileTest, Utf8JobFileKeepsItsFilter) {
  struct Case {
    const char* stored;
    const char* written;  // the Filter line after a save
  } cases[] = {
      {"+\xE2\x82\xAC*.txt;-", "Filter=+\xE2\x82\xAC*.txt;-\r\n"},
      {"aRr;+;-", "Filter=aRr;+;-\r\n"},
      {"aDhS;+\xCE\xA9;-*.t\xC3\xA9", "Filter=aDSh;+\xCE\xA9;-*.t\xC3\xA9\r\n"},
  };
  for (const Case& c : cases) {
    Job job = loadFrom(std::string("\xEF\xBB\xBF[CRVL]\r\nOption=1;b\r\nFilter=") + c.stored + "\r\n");
    const Filter loaded = job.filter;
    ASSERT_EQ(saveJob(job, settings_), kSuccess);
    const std::string text = folder_.read("j.job");
    EXPECT_NE(text.find(c.written), std::string::npos) << text;
    Job again;
    again.jobFilePath = job.jobFilePath;
    ASSERT_EQ(loadJob(again, settings_), kSuccess);
    EXPECT_EQ(again.filter, loaded) << c.stored;
  }
}

TEST_F(JobFileTest, FilterIsKeptWhileTheSwitchIsOff) {
  Job job;
  job.optionFlags = DefaultMirrorFlags;
  job.filterSwitch = 0;
  parseFilter("+*.doc;-", job.filter);
  job.jobFilePath = folder_.path("off.job");
  ASSERT_EQ(saveJob(job, settings_), kSuccess);
  Job again;
  again.jobFilePath = job.jobFilePath;
  ASSERT_EQ(loadJob(again, settings_), kSuccess);
  EXPECT_FALSE(again.filterOn());
  EXPECT_EQ(again.filter.include.masks, u"*.doc");
}

TEST_F(JobFileTest, MalformedFilesLoadAsDefinedJobs) {
  struct Case {
    std::string file;
    size_t folders;
    OptionFlags flags;
  } cases[] = {
      {"", 0, DefaultMirrorFlags},
      {std::string("\0\0\xFF\xFE[CRVL\r\n=\r\n", 13), 0, DefaultMirrorFlags},
      {"[CRVL]\r\nOption=" + std::string(10000, ';') + "\r\n", 0, DefaultMirrorFlags},
      {"[CRVL]\r\nOption=1;" + std::string(3000, 'd') + ";b\r\n", 0, 0x8},
      // The value is read up to 4095 bytes: the token beyond is never seen.
      {"[CRVL]\r\nOption=1;" + std::string(5000, 'd') + ";b\r\n", 0, DefaultMirrorFlags},
      {"[Folder]\r\n1=\xEF\xBB\xBF\xFF\xE0\r\n2=+" + std::string(5000, 'x') + "\r\n", 2,
       DefaultMirrorFlags},
      {"[Folder]\r\n1=\"+A;B\r\n[CRVL]\r\nFilter=\"+a\r\n", 1, DefaultMirrorFlags},
      {"[Folder\r\n1=+A;B\r\n", 0, DefaultMirrorFlags},
  };
  for (const Case& c : cases) {
    const Job job = loadFrom(c.file);
    EXPECT_EQ(job.folderList.size(), c.folders) << c.file.substr(0, 40);
    EXPECT_EQ(job.optionFlags, c.flags) << c.file.substr(0, 40);
    // Entries are kept whole, however long: a cut entry would name other folders.
    for (const std::u16string& entry : job.folderList) {
      if (entry.size() > 100) {
        EXPECT_EQ(entry, u"+" + std::u16string(5000, u'x'));
      }
    }
  }
}

TEST_F(JobFileTest, MissingFileGivesTheEmptyMirrorJobAndSavingCreatesIt) {
  Job job;
  job.filterSwitch = 1;
  job.folderList = {u"+stale;entry"};
  job.jobFilePath = folder_.path("sub/none.job");
  EXPECT_EQ(loadJob(job, settings_), kErrorFileNotFound);
  EXPECT_EQ(job.optionFlags, DefaultMirrorFlags);
  EXPECT_EQ(job.filterSwitch, 0u);
  EXPECT_TRUE(job.folderList.empty());
  EXPECT_TRUE(job.includedPairs.empty());
  EXPECT_TRUE(isEmptyFilter(job.filter));
  EXPECT_FALSE(folder_.exists("sub/none.job"));
  ASSERT_EQ(saveJob(job, settings_), kSuccess);
  EXPECT_TRUE(folder_.exists("sub/none.job"));
}

TEST_F(JobFileTest, JobWithoutPathLivesInTheSettings) {
  folder_.write("settings.ini", "[CRVL]\r\nOpt=4\r\nOption=1;d\r\n\r\n[Folder]\r\n1=+L;R\r\n");
  settings_.reloadStore();
  Job job;
  ASSERT_EQ(loadJob(job, settings_), kSuccess);
  EXPECT_EQ(job.optionFlags, kOptRecurse);
  EXPECT_TRUE(job.filterOn());
  ASSERT_EQ(job.includedPairs.size(), 1u);
  EXPECT_EQ(job.includedPairs[0], u"L;R");

  job.folderList = {u"-X;Y"};
  ASSERT_EQ(saveJob(job, settings_), kSuccess);
  EXPECT_EQ(folder_.read("settings.ini"),
            "[CRVL]\r\nOpt=4\r\nOption=1;d\r\nFilter=\r\n\r\n[Folder]\r\n1=-X;Y\r\n");
}

TEST_F(JobFileTest, NewJobInAFolderThatHoldsItsName) {
  folder_.makeFolder("jobs");
  settings_.putText("CRVL", "Job", folder_.path("jobs"));
  struct Case {
    const char* existing;
    const char16_t* name;
    const char* expected;
  } cases[] = {
      {nullptr, u"Backup", "Backup.job"},
      {"Backup.job", u"Backup", "1.job"},
      {"1.job", u"Backup", "2.job"},
      {nullptr, u"Other", "Other.job"},
  };
  for (const Case& c : cases) {
    if (c.existing) folder_.write(std::string("jobs/") + c.existing, "[CRVL]\r\n");
    Job job;
    job.jobName = c.name;
    defaultJobFilePath(job, settings_);
    EXPECT_EQ(expandPath(job.jobFilePath), folder_.path(std::string("jobs/") + c.expected));
  }
  Job kept;
  kept.jobName = u"Backup";
  kept.jobFilePath = u"somewhere.job";
  defaultJobFilePath(kept, settings_);
  EXPECT_EQ(kept.jobFilePath, u"somewhere.job");
}

TEST_F(JobFileTest, JobsAreFoundByRegisterNameOrPath) {
  folder_.write("a.job", "[CRVL]\r\nOption=0;d;b\r\n");
  settings_.putString("Job", "1", "-Group");
  settings_.putText("Job", "2", u"Alpha;" + folder_.path("a.job"));
  settings_.putString("Job", "3", "NoFile");
  settings_.putString("Job", "4", "-");

  Job job;
  int number = 0;
  EXPECT_EQ(loadJobByReference(u"ALPHA", job, settings_, &number), kSuccess);
  EXPECT_EQ(number, 2);
  EXPECT_EQ(job.jobName, u"Alpha");
  EXPECT_EQ(job.optionFlags, kOptRecurse | kOptCompareContent);

  EXPECT_EQ(loadJobByReference(folder_.path("a.job"), job, settings_, &number), kSuccess);
  EXPECT_EQ(number, -1);
  EXPECT_EQ(job.jobName, u"a");
  EXPECT_EQ(job.optionFlags, kOptRecurse | kOptCompareContent);

  EXPECT_EQ(loadJobByReference(u"Beta", job, settings_, &number), kErrorNotFound);
  EXPECT_EQ(loadJobByReference(u"NoFile", job, settings_, &number), kErrorNotFound);
  EXPECT_EQ(loadJobByReference(u"Group", job, settings_, &number), kErrorNotFound);
  EXPECT_EQ(loadJobByReference(folder_.path("b.job"), job, settings_, &number), kErrorFileNotFound);
}

}  // namespace
}  // namespace crvl
