// Scanning and classifying two identical folders: through a provider that lists from
// memory (the engine's own cost: listing into scan lists, pairing, deciding, recording)
// and through the local provider on real folders. The cost must grow linearly with
// the number of entries.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/pair_scanner.h"
#include "engine/provider_table.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace crvl {
namespace {

constexpr uint64_t kT = 132000000000000000ull;

std::vector<std::u16string> g_names;

ErrorCode memoryEnumerate(FileSystemProvider*, ProviderHandle*, const char16_t* folder, EnumerateConsumer consumer,
                          void* data) {
  FindRecord record;
  record.folderPath = folder;
  record.block.attributes = 0x20;
  record.block.lastWriteTime = kT;
  for (const std::u16string& name : g_names) {
    record.block.size = name.size();
    record.name = name.c_str();
    record.nameLength = name.size();
    if (consumer(data, record) != 0) break;
  }
  return 0;
}

void makeNames(size_t count) {
  g_names.clear();
  g_names.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const std::string n = "File " + std::to_string(i * 7919 % 1000003) + ".dat";
    g_names.emplace_back(n.begin(), n.end());
  }
}

void scanOnce(benchmark::State& state, ProviderTable& table, int32_t slotIndex, const std::u16string& left,
              const std::u16string& right) {
  FileSystemProvider& slot = table.slots[static_cast<size_t>(slotIndex)];
  ProviderHandle leftHandle{slotIndex, nullptr, left, &table, {}, {}};
  ProviderHandle rightHandle{slotIndex, nullptr, right, &table, {}, {}};
  SideState l{&leftHandle, slot.kind, 0, left, {}};
  SideState r{&rightHandle, slot.kind, 0, right, {}};
  for (auto _ : state) {
    EntryList actions(true);
    PairScanner scanner;
    scanner.actionList = &actions;
    (void)scanPair(scanner, l, r);
    if (actions.count() != static_cast<uint32_t>(state.range(0)) + 1) state.SkipWithError("wrong record count");
    benchmark::DoNotOptimize(actions.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ScanFromMemory(benchmark::State& state) {
  ProviderTable table;
  table.initialize(u"File System Plugins");
  makeNames(static_cast<size_t>(state.range(0)));
  FileSystemProvider& slot = table.slots[2];
  slot.kind = kProviderPlugin;
  slot.table = &table;
  slot.ops.enumerate = &memoryEnumerate;
  scanOnce(state, table, 2, u"L", u"R");
}
BENCHMARK(BM_ScanFromMemory)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ScanLocalFolders(benchmark::State& state) {
  namespace fs = std::filesystem;
  ProviderTable table;
  table.initialize(u"File System Plugins");
  const fs::path base = fs::path(platform::tempFolder()) / ("crvl-bench-" + std::to_string(state.range(0)));
  const size_t count = static_cast<size_t>(state.range(0));
  for (const char* side : {"L", "R"}) {
    const fs::path folder = base / side;
    fs::create_directories(folder);
    for (size_t i = 0; i < count; ++i) {
      const fs::path p = folder / ("File " + std::to_string(i) + ".dat");
      if (!fs::exists(p)) std::ofstream(p) << i;
      (void)platform::setFileTimes(p.u16string(), 0, 0, kT);
    }
  }
  scanOnce(state, table, 0, (base / "L").u16string(), (base / "R").u16string());
  std::error_code ec;
  fs::remove_all(base, ec);
}
BENCHMARK(BM_ScanLocalFolders)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace crvl

BENCHMARK_MAIN();
