// Shared helpers of the round-trip fuzz targets: each target reads its input, writes
// what it read, reads that again and stops the run when the two readings differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace crvl::fuzz {

inline void require(bool same, const char* what) {
  if (same) return;
  std::fprintf(stderr, "round trip differs: %s\n", what);
  std::abort();
}

// The input as bytes; the first byte, when there is one, chooses the file's encoding
// (odd: a file saved as UTF-8).
struct Input {
  bool utf8File;
  std::string_view bytes;
};

inline Input splitInput(const uint8_t* data, size_t size) {
  if (size == 0) return {false, {}};
  return {(data[0] & 1) != 0, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)};
}

}  // namespace crvl::fuzz
