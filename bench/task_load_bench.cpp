// Loading the task list: 12,500 and 100,000 tasks over a register of 1,000 jobs, with
// the register before the task section and after it (the order a rewritten register
// leaves). Both orders must cost the same and grow linearly with the number of tasks.
// Run: build/linux-release/bench/task_load_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "jobs/profile_store.h"
#include "platform/environment.h"
#include "schedule/task.h"

namespace crvl {
namespace {

namespace fs = std::filesystem;

constexpr int kJobs = 1'000;

std::string sectionText(bool jobs, int64_t tasks) {
  std::string text;
  if (jobs) {
    text += "[Job]\r\n";
    for (int i = 1; i <= kJobs; ++i) {
      text += std::to_string(i) + "=Job " + std::to_string(i) + ";j" + std::to_string(i) + ".job\r\n";
    }
  } else {
    text += "[Task]\r\n";
    for (int64_t i = 1; i <= tasks; ++i) {
      text += std::to_string(i) + "=Job " + std::to_string(1 + i % kJobs) + ";ao;r" + std::to_string(i) + "\r\n";
    }
  }
  return text + "\r\n";
}

// range(0): tasks; range(1): 1 when [Job] stands after [Task].
void BM_LoadTasks(benchmark::State& state) {
  const int64_t tasks = state.range(0);
  const bool jobsLast = state.range(1) != 0;
  const fs::path file = fs::path(platform::tempFolder()) /
                        ("crvl-task-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                         ".ini");
  {
    std::ofstream out(file, std::ios::binary);
    out << sectionText(!jobsLast, tasks) << sectionText(jobsLast, tasks);
  }
  for (auto _ : state) {
    ProfileStore store;
    store.openStore(file.u16string(), kStoreOwnFile);
    const size_t loaded = loadTasks(store).size();
    if (loaded != static_cast<size_t>(tasks)) state.SkipWithError("wrong number of tasks");
    benchmark::DoNotOptimize(loaded);
  }
  std::error_code ec;
  fs::remove(file, ec);
  state.SetItemsProcessed(state.iterations() * tasks);
}
BENCHMARK(BM_LoadTasks)
    ->ArgNames({"tasks", "jobs_last"})
    ->Args({12'500, 0})
    ->Args({12'500, 1})
    ->Args({100'000, 0})
    ->Args({100'000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace crvl

BENCHMARK_MAIN();
