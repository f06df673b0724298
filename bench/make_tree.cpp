// Data sets for bench/compare_tools.sh:
//   crvl_make_tree deep DIR            100,000 small files of mixed sizes in 10,000 folders
//   crvl_make_tree flat DIR            one folder of 100,000 small files
//   crvl_make_tree large DIR           four files of 256 MiB
//   crvl_make_tree change DIR SEED     changes 1 % of the files below DIR: a third
//                                      rewritten, a third deleted, as many added
//   crvl_make_tree grid DIR TOP SUB FILES MAXSIZE
//                                      TOP folders of SUB folders of FILES files each
//                                      (TOP 0: FILES files in DIR itself), sizes below
//                                      MAXSIZE bytes (0: empty files)
// Contents are pseudo-random and the same on every machine for the same arguments.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  uint64_t below(uint64_t n) { return next() % n; }
};

std::vector<char> g_buffer;

bool writeFile(const fs::path& path, uint64_t size, Random& rnd) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  if (g_buffer.size() < (1u << 20)) g_buffer.resize(1u << 20);
  uint64_t left = size;
  while (left > 0) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, g_buffer.size()));
    for (size_t i = 0; i + 8 <= piece; i += 8) {
      const uint64_t v = rnd.next();
      std::memcpy(g_buffer.data() + i, &v, 8);
    }
    if (std::fwrite(g_buffer.data(), 1, piece, f) != piece) {
      std::fclose(f);
      return false;
    }
    left -= piece;
  }
  return std::fclose(f) == 0;
}

// Mostly small files, some medium, a few larger: about 6 KiB on average.
uint64_t mixedSize(Random& rnd) {
  const uint64_t pick = rnd.below(100);
  if (pick < 80) return rnd.below(4096);
  if (pick < 99) return 4096 + rnd.below(28 * 1024);
  return 32 * 1024 + rnd.below(224 * 1024);
}

int deep(const fs::path& dir) {
  Random rnd(1);
  for (int a = 0; a < 100; ++a) {
    for (int b = 0; b < 100; ++b) {
      const fs::path folder = dir / ("d" + std::to_string(a)) / ("s" + std::to_string(b));
      fs::create_directories(folder);
      for (int f = 0; f < 10; ++f) {
        if (!writeFile(folder / ("file" + std::to_string(f) + ".dat"), mixedSize(rnd), rnd)) return 1;
      }
    }
  }
  return 0;
}

int flat(const fs::path& dir) {
  Random rnd(2);
  fs::create_directories(dir);
  for (int f = 0; f < 100000; ++f) {
    if (!writeFile(dir / ("file" + std::to_string(f) + ".dat"), rnd.below(4096), rnd)) return 1;
  }
  return 0;
}

int large(const fs::path& dir) {
  Random rnd(3);
  fs::create_directories(dir);
  for (int f = 0; f < 4; ++f) {
    if (!writeFile(dir / ("big" + std::to_string(f) + ".bin"), 256ull << 20, rnd)) return 1;
  }
  return 0;
}

int grid(const fs::path& dir, uint64_t top, uint64_t sub, uint64_t files, uint64_t maxSize) {
  Random rnd(4);
  const auto fill = [&](const fs::path& folder) {
    fs::create_directories(folder);
    for (uint64_t f = 0; f < files; ++f) {
      if (!writeFile(folder / ("f" + std::to_string(f)), maxSize == 0 ? 0 : rnd.below(maxSize), rnd)) return false;
    }
    return true;
  };
  if (top == 0) return fill(dir) ? 0 : 1;
  for (uint64_t a = 0; a < top; ++a) {
    for (uint64_t b = 0; b < sub; ++b) {
      if (!fill(dir / ("d" + std::to_string(a)) / ("s" + std::to_string(b)))) return 1;
    }
  }
  return 0;
}

int change(const fs::path& dir, uint64_t seed) {
  Random rnd(seed + 100);
  std::vector<fs::path> files;
  std::vector<fs::path> folders;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_directory()) {
      folders.push_back(e.path());
    } else {
      files.push_back(e.path());
    }
  }
  if (files.empty()) return 1;
  if (folders.empty()) folders.push_back(dir);
  const size_t third = std::max<size_t>(1, files.size() / 300);
  for (size_t i = 0; i < third; ++i) {  // rewritten
    const fs::path& p = files[rnd.below(files.size())];
    if (!writeFile(p, mixedSize(rnd), rnd)) return 1;
  }
  for (size_t i = 0; i < third; ++i) {  // deleted (a file already gone is skipped)
    std::error_code ec;
    fs::remove(files[rnd.below(files.size())], ec);
  }
  for (size_t i = 0; i < third; ++i) {  // added
    const fs::path& folder = folders[rnd.below(folders.size())];
    if (!writeFile(folder / ("new" + std::to_string(seed) + "-" + std::to_string(i) + ".dat"), mixedSize(rnd), rnd)) {
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s deep|flat|large DIR | change DIR SEED | grid DIR TOP SUB FILES MAXSIZE\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const fs::path dir = argv[2];
  try {
    if (mode == "deep") return deep(dir);
    if (mode == "flat") return flat(dir);
    if (mode == "large") return large(dir);
    if (mode == "change" && argc >= 4) return change(dir, std::strtoull(argv[3], nullptr, 10));
    if (mode == "grid" && argc >= 7) {
      const auto number = [&](int i) { return std::strtoull(argv[i], nullptr, 10); };
      return grid(dir, number(3), number(4), number(5), number(6));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
  return 2;
}
