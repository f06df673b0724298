// Reading the program's text formats at 10 MB: a settings file with a large job
// register, a job file with many folder pairs, a language file and a log index, each
// also in the shape that used to cost time in proportion to the square of its size
// (long runs of lines without '='). Every case must grow linearly with the input.
//
// The inputs are generated once per process under the temporary folder and removed at
// the end. Run: build/linux-release/bench/parse_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobs/job.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "language/language_file.h"
#include "language/language_table.h"
#include "logs/log_index.h"
#include "platform/environment.h"
#include "platform/text.h"

namespace crvl {
namespace {

namespace fs = std::filesystem;

constexpr size_t kTenMegabytes = size_t{10} << 20;

// The folder of the generated inputs, removed when the process ends.
class InputFolder {
 public:
  InputFolder() {
    path_ = fs::path(platform::tempFolder()) / ("crvl-parse-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(path_);
  }
  ~InputFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  fs::path file(const std::string& name, const std::string& bytes) const {
    const fs::path p = path_ / name;
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

InputFolder& inputs() {
  static InputFolder folder;
  return folder;
}

// Lines of `line` repeated (each with a number, so that no two are equal) until the
// text holds `bytes` bytes.
void appendFiller(std::string& text, std::string_view line, size_t bytes) {
  const size_t target = text.size() + bytes;
  for (size_t i = 0; text.size() < target; ++i) {
    text.append(line).append(std::to_string(i)).append("\r\n");
  }
}

// --- settings ---

// A job register of `jobs` entries, then sections of plug-in keys up to 10 MB.
std::string settingsText(size_t jobs) {
  std::string text = "[CRVL]\r\nOpt=0\r\nLanguage=US\r\nExpMode=6\r\nVersion=24.08\r\n\r\n[Job]\r\n";
  for (size_t i = 1; i <= jobs; ++i) {
    const std::string n = std::to_string(i);
    text += n + "=Job " + n + ";%APPDATA%\\Halberic\\CRVL\\Job\\Job " + n + ".job\r\n";
  }
  for (size_t s = 0; text.size() < kTenMegabytes; ++s) {
    text += "\r\n[Plugin " + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 100; ++k) text += "Key " + std::to_string(k) + "=a value of some length\r\n";
  }
  return text;
}

void BM_SettingsRegister(benchmark::State& state) {
  const size_t jobs = 50'000;
  const fs::path file = inputs().file("settings.ini", settingsText(jobs));
  for (auto _ : state) {
    ProfileStore store;
    store.openStore(file.u16string(), kStoreOwnFile);
    const std::vector<RegisterRow> rows = readRegister(store);
    if (rows.size() != jobs) state.SkipWithError("wrong register size");
    if (findJobNumber(u"job 50000", store) != 50'000) state.SkipWithError("last job not found");
    Job job;
    if (readRegisterEntry(49'999, job, store) != kSuccess) state.SkipWithError("register entry not read");
    if (job.jobName != u"Job 49999") state.SkipWithError("wrong register entry");
    std::string value;
    if (!store.getString("Plugin 0", "Key 99", nullptr, value)) state.SkipWithError("key not found");
    store.reloadStore();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
}
BENCHMARK(BM_SettingsRegister)->Unit(benchmark::kMillisecond);

void BM_SettingsLinesWithoutEquals(benchmark::State& state) {
  std::string text = "[CRVL]\r\nOpt=0\r\n\r\n[Job]\r\n";
  appendFiller(text, "a register line without its value ", kTenMegabytes);
  text += "1=Last;last.job\r\n";
  const fs::path file = inputs().file("settings-no-equals.ini", text);
  for (auto _ : state) {
    ProfileStore store;
    store.openStore(file.u16string(), kStoreOwnFile);
    if (readRegister(store).size() != 1) state.SkipWithError("wrong register size");
    store.reloadStore();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_SettingsLinesWithoutEquals)->Unit(benchmark::kMillisecond)->Iterations(1);

// Writing a register of `range(0)` rows into a settings file and flushing it.
void BM_SettingsWriteRegister(benchmark::State& state) {
  std::vector<RegisterRow> rows;
  for (int64_t i = 1; i <= state.range(0); ++i) {
    const std::u16string n = platform::fromUtf8(std::to_string(i));
    rows.push_back({RegisterKind::Job, u"Job " + n, u"/srv/jobs/Job " + n + u".job"});
  }
  const fs::path file = inputs().path() / "written.ini";
  for (auto _ : state) {
    fs::remove(file);
    ProfileStore store;
    store.openStore(file.u16string(), kStoreOwnFile);
    if (writeRegister(rows, store) != kSuccess) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
}
BENCHMARK(BM_SettingsWriteRegister)->Arg(20'000)->Arg(200'000)->Unit(benchmark::kMillisecond);

// --- job files ---

constexpr std::string_view kJobHead = "[CRVL]\r\nOption=1;+>;=>;->;_>;?;!=;d;d+\r\nFilter=+*.txt;-*.tmp\r\n\r\n[Folder]\r\n";

std::string jobText(size_t* pairs) {
  std::string text(kJobHead);
  size_t i = 1;
  for (; text.size() < kTenMegabytes; ++i) {
    const std::string n = std::to_string(i);
    text += n + "=+/data/projects/folder " + n + "/sub;/backup/projects/folder " + n + "/sub\r\n";
  }
  *pairs = i - 1;
  return text;
}

void BM_JobFileRead(benchmark::State& state) {
  size_t pairs = 0;
  const fs::path file = inputs().file("big.job", jobText(&pairs));
  for (auto _ : state) {
    Job job;
    job.jobFilePath = file.u16string();
    ProfileStore settings;
    if (loadJob(job, settings) != kSuccess || job.folderList.size() != pairs) {
      state.SkipWithError("job not read");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
}
BENCHMARK(BM_JobFileRead)->Unit(benchmark::kMillisecond);

void BM_JobFileLinesWithoutEquals(benchmark::State& state) {
  std::string text(kJobHead);
  appendFiller(text, "+/a folder line that lost its key ", kTenMegabytes);
  text += "1=+/l;/r\r\n";
  const fs::path file = inputs().file("no-equals.job", text);
  for (auto _ : state) {
    Job job;
    job.jobFilePath = file.u16string();
    ProfileStore settings;
    if (loadJob(job, settings) != kSuccess || job.folderList.size() != 1) state.SkipWithError("job not read");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_JobFileLinesWithoutEquals)->Unit(benchmark::kMillisecond)->Iterations(1);

// Saving a job of `range(0)` folder pairs into a new job file.
void BM_JobFileWrite(benchmark::State& state) {
  Job job;
  job.optionFlags = 0x2AB81;
  for (int64_t i = 1; i <= state.range(0); ++i) {
    const std::u16string n = platform::fromUtf8(std::to_string(i));
    job.folderList.push_back(u"+/data/projects/folder " + n + u"/sub;/backup/projects/folder " + n + u"/sub");
  }
  const fs::path file = inputs().path() / "written.job";
  for (auto _ : state) {
    fs::remove(file);
    job.jobFilePath = file.u16string();
    ProfileStore settings;
    if (saveJob(job, settings) != kSuccess) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(file)));
}
BENCHMARK(BM_JobFileWrite)->Arg(12'000)->Arg(120'000)->Unit(benchmark::kMillisecond);

// --- language files ---

// Every key of the key table with a text, after `filler` bytes of other lines.
std::string languageText(std::string_view fillerLine) {
  std::string text = "\xEF\xBB\xBF";
  appendFiller(text, fillerLine, kTenMegabytes);
  text += "Language=Bench\r\nCP=1252\r\n";
  for (const CrvlLanguageRecord* r = keyTable() + 2; r->text != nullptr; ++r) {
    text += static_cast<const char*>(r->text);
    text += "__=Text of ";
    text += static_cast<const char*>(r->text);
    text += "\\nsecond line\r\n";
  }
  return text;
}

void languageCase(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    const OwnedLanguageTable table = buildLanguageTable(LanguageFile(text), keyTable(), englishTable());
    if (!table || lookupText(table.table(), 1) != u"Bench") state.SkipWithError("table not built");
    benchmark::DoNotOptimize(table.table());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_LanguageFile(benchmark::State& state) {
  languageCase(state, languageText("; comment = a line of the translator's notes "));
}
BENCHMARK(BM_LanguageFile)->Unit(benchmark::kMillisecond);

// Lines that hold key characters but no '=': every occurrence has to be looked at.
void BM_LanguageFileLinesWithoutEquals(benchmark::State& state) {
  languageCase(state, languageText("Exit Stop Jobs JCfg CNFG Lnge OpBk OpRt Dark Help Abot JStr "));
}
BENCHMARK(BM_LanguageFileLinesWithoutEquals)->Unit(benchmark::kMillisecond);

// --- log index ---

void BM_LogIndexRead(benchmark::State& state) {
  std::string text;
  size_t lines = 0;
  while (text.size() < kTenMegabytes) {
    const std::string n = std::to_string(++lines);
    text += "Job " + n + ";0;20240101120000;/var/log/crvl/Job " + n + "20240101120000.txt\r\n";
  }
  const fs::path file = inputs().file("Log.txt", text);
  for (auto _ : state) {
    if (readLogIndex(file.u16string()).size() != lines) state.SkipWithError("wrong line count");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LogIndexRead)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace crvl

BENCHMARK_MAIN();
