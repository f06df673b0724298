#include "platform/canonical_path.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

bool resolved(const std::string& path, std::string& out) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (real == nullptr) return false;
  out = real.get();
  return true;
}

}  // namespace

std::u16string canonicalFilePath(std::u16string_view path) {
  const std::string bytes = toSystemBytes(path);
  std::string out;
  if (resolved(bytes, out)) return fromSystemBytes(out);
  const size_t slash = bytes.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : bytes.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? bytes : bytes.substr(slash + 1);
  if (name.empty() || name == "." || name == ".." || !resolved(folder, out)) return std::u16string(path);
  if (out.back() != '/') out += '/';
  return fromSystemBytes(out + name);
}

}  // namespace crvl::platform
