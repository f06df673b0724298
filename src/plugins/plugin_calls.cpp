// The calls into modules. Each converts its arguments first, so that the contained part
// only calls the module and stores what it answered: a fault drops those frames, and
// nothing in them owns anything.
#include "plugins/plugin_calls.h"

#include <algorithm>
#include <cstring>

#include "platform/contained_calls.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "plugins/plugin_callbacks.h"

namespace crvl::plugin_calls {
namespace {

// Runs `body` (which calls the module) contained: 0 when it returned; 50 when the
// module is unusable, threw or faulted. A fault makes the module unusable for good.
template <typename Body>
ErrorCode contained(FileSystemPlugin& p, Body& body) noexcept {
  if (p.unusable.load(std::memory_order_acquire)) return kErrorNotSupported;
  struct Frame {
    Body* body;
    bool threw;
  };
  Frame frame{&body, false};
  const bool returned = platform::runContained(
      [](void* context) {
        auto* f = static_cast<Frame*>(context);
        try {
          (*f->body)();
        } catch (...) {
          f->threw = true;
        }
      },
      &frame);
  if (!returned) {
    p.unusable.store(true, std::memory_order_release);
    return kErrorNotSupported;
  }
  return frame.threw ? kErrorNotSupported : kSuccess;
}

// A path for a wide entry: as it is, with room for the module to write its terminator.
ErrorCode wideText(std::u16string_view text, std::u16string& out, size_t capacity = 0) {
  if (text.size() > kMaxModulePath) return kErrorFilenameExcedRange;
  if (text.find(u'\0') != text.npos) return kErrorInvalidName;
  out.assign(text);
  if (out.size() < capacity) out.resize(capacity, u'\0');
  return 0;
}

// A path for an ANSI entry: the same text in the system code page. A text that has no
// exact form there is refused: its '?' stand-ins would name other files.
ErrorCode ansiText(std::u16string_view text, std::string& out, size_t capacity = 0) {
  if (text.size() > kMaxModulePath) return kErrorFilenameExcedRange;
  if (text.find(u'\0') != text.npos) return kErrorInvalidName;
  bool exact = false;
  out = platform::utf16ToAnsi(text, &exact);
  if (!exact) return kErrorInvalidName;
  if (out.size() < capacity) out.resize(capacity, '\0');
  return 0;
}

// A module's zero-terminated text in a buffer of `limit` units.
template <typename C>
std::basic_string_view<C> bounded(const C* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return {text, n};
}

template <size_t N>
void copyName(std::u16string_view text, wfx::WChar (&out)[N]) {
  const size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.data(), n, out);
  out[n] = 0;
}

void widen(const wfx::FindDataA& a, wfx::FindDataW& w) {
  w.attributes = a.attributes;
  w.creationTime = a.creationTime;
  w.lastAccessTime = a.lastAccessTime;
  w.lastWriteTime = a.lastWriteTime;
  w.sizeHigh = a.sizeHigh;
  w.sizeLow = a.sizeLow;
  w.reserved0 = a.reserved0;
  w.reserved1 = a.reserved1;
  copyName(platform::ansiToUtf16(bounded(a.name, wfx::kMaxPath)), w.name);
  copyName(platform::ansiToUtf16(bounded(a.alternateName, sizeof a.alternateName)), w.alternateName);
}

// Calls the wide entry `w` or else the ANSI entry `a` with one path argument.
template <typename T, typename W, typename A, typename CallW, typename CallA>
Answer<T> withPath(FileSystemPlugin& p, W w, A a, std::u16string_view path, CallW callW, CallA callA) {
  Answer<T> answer;
  if (w != nullptr) {
    std::u16string arg;
    if ((answer.error = wideText(path, arg)) != 0) return answer;
    auto body = [&] { answer.value = callW(w, arg.data()); };
    answer.error = contained(p, body);
  } else if (a != nullptr) {
    std::string arg;
    if ((answer.error = ansiText(path, arg)) != 0) return answer;
    auto body = [&] { answer.value = callA(a, arg.data()); };
    answer.error = contained(p, body);
  }
  return answer;
}

}  // namespace

Answer<wfx::Handle> findFirst(FileSystemPlugin& p, std::u16string_view path, wfx::FindDataW& data,
                              ErrorCode& lastError) {
  lastError = 0;
  data = wfx::FindDataW{};
  wfx::FindDataA ansiData{};
  Answer<wfx::Handle> answer = withPath<wfx::Handle>(
      p, p.wide.findFirst, p.ansi.findFirst, path,
      [&](auto f, wfx::WChar* arg) {
        platform::clearModuleError();
        wfx::Handle h = f(arg, &data);
        if (h == wfx::invalidHandle()) lastError = platform::moduleError();
        return h;
      },
      [&](auto f, char* arg) {
        platform::clearModuleError();
        wfx::Handle h = f(arg, &ansiData);
        if (h == wfx::invalidHandle()) lastError = platform::moduleError();
        return h;
      });
  if (answer.answered() && p.wide.findFirst == nullptr && answer.value != wfx::invalidHandle()) {
    widen(ansiData, data);
  }
  return answer;
}

Answer<bool> findNext(FileSystemPlugin& p, wfx::Handle handle, wfx::FindDataW& data) {
  Answer<bool> answer;
  data = wfx::FindDataW{};
  if (p.wide.findNext != nullptr) {
    auto body = [&] { answer.value = p.wide.findNext(handle, &data) != 0; };
    answer.error = contained(p, body);
  } else if (p.ansi.findNext != nullptr) {
    wfx::FindDataA ansiData{};
    auto body = [&] { answer.value = p.ansi.findNext(handle, &ansiData) != 0; };
    answer.error = contained(p, body);
    if (answer.answered() && answer.value) widen(ansiData, data);
  }
  return answer;
}

Answer<int32_t> findClose(FileSystemPlugin& p, wfx::Handle handle) {
  Answer<int32_t> answer;
  if (p.findClose == nullptr) return answer;
  auto body = [&] { answer.value = p.findClose(handle); };
  answer.error = contained(p, body);
  return answer;
}

Answer<bool> makeFolder(FileSystemPlugin& p, std::u16string_view path) {
  return withPath<bool>(
      p, p.wide.mkDir, p.ansi.mkDir, path, [](auto f, wfx::WChar* a) { return f(a) != 0; },
      [](auto f, char* a) { return f(a) != 0; });
}

Answer<bool> removeFolder(FileSystemPlugin& p, std::u16string_view path) {
  return withPath<bool>(
      p, p.wide.removeDir, p.ansi.removeDir, path, [](auto f, wfx::WChar* a) { return f(a) != 0; },
      [](auto f, char* a) { return f(a) != 0; });
}

Answer<bool> deleteFile(FileSystemPlugin& p, std::u16string_view path) {
  return withPath<bool>(
      p, p.wide.deleteFile, p.ansi.deleteFile, path, [](auto f, wfx::WChar* a) { return f(a) != 0; },
      [](auto f, char* a) { return f(a) != 0; });
}

Answer<bool> setAttributes(FileSystemPlugin& p, std::u16string_view path, int32_t attributes) {
  return withPath<bool>(
      p, p.wide.setAttr, p.ansi.setAttr, path, [&](auto f, wfx::WChar* a) { return f(a, attributes) != 0; },
      [&](auto f, char* a) { return f(a, attributes) != 0; });
}

Answer<bool> setTimes(FileSystemPlugin& p, std::u16string_view path, const wfx::FileTime* creation,
                      const wfx::FileTime* lastAccess, const wfx::FileTime* lastWrite) {
  wfx::FileTime c = creation != nullptr ? *creation : wfx::FileTime{};
  wfx::FileTime a = lastAccess != nullptr ? *lastAccess : wfx::FileTime{};
  wfx::FileTime w = lastWrite != nullptr ? *lastWrite : wfx::FileTime{};
  wfx::FileTime* cp = creation != nullptr ? &c : nullptr;
  wfx::FileTime* ap = lastAccess != nullptr ? &a : nullptr;
  wfx::FileTime* wp = lastWrite != nullptr ? &w : nullptr;
  return withPath<bool>(
      p, p.wide.setTime, p.ansi.setTime, path, [&](auto f, wfx::WChar* s) { return f(s, cp, ap, wp) != 0; },
      [&](auto f, char* s) { return f(s, cp, ap, wp) != 0; });
}

Answer<int32_t> renameMove(FileSystemPlugin& p, std::u16string_view oldPath, std::u16string_view newPath,
                           bool move, bool overwrite, const wfx::RemoteInfo& info) {
  Answer<int32_t> answer;
  wfx::RemoteInfo copy = info;
  if (p.wide.renMovFile != nullptr) {
    std::u16string a, b;
    if ((answer.error = wideText(oldPath, a)) != 0 || (answer.error = wideText(newPath, b)) != 0) return answer;
    auto body = [&] { answer.value = p.wide.renMovFile(a.data(), b.data(), move, overwrite, &copy); };
    answer.error = contained(p, body);
  } else if (p.ansi.renMovFile != nullptr) {
    std::string a, b;
    if ((answer.error = ansiText(oldPath, a)) != 0 || (answer.error = ansiText(newPath, b)) != 0) return answer;
    auto body = [&] { answer.value = p.ansi.renMovFile(a.data(), b.data(), move, overwrite, &copy); };
    answer.error = contained(p, body);
  }
  return answer;
}

Answer<int32_t> getFile(FileSystemPlugin& p, std::u16string_view remote, std::u16string_view local,
                        int32_t copyFlags, const wfx::RemoteInfo& info) {
  Answer<int32_t> answer;
  wfx::RemoteInfo copy = info;
  if (p.wide.getFile != nullptr) {
    std::u16string a, b;
    if ((answer.error = wideText(remote, a)) != 0 || (answer.error = wideText(local, b)) != 0) return answer;
    auto body = [&] { answer.value = p.wide.getFile(a.data(), b.data(), copyFlags, &copy); };
    answer.error = contained(p, body);
  } else if (p.ansi.getFile != nullptr) {
    std::string a, b;
    if ((answer.error = ansiText(remote, a)) != 0 || (answer.error = ansiText(local, b)) != 0) return answer;
    auto body = [&] { answer.value = p.ansi.getFile(a.data(), b.data(), copyFlags, &copy); };
    answer.error = contained(p, body);
  }
  return answer;
}

Answer<int32_t> putFile(FileSystemPlugin& p, std::u16string_view local, std::u16string_view remote,
                        int32_t copyFlags) {
  Answer<int32_t> answer;
  if (p.wide.putFile != nullptr) {
    std::u16string a, b;
    if ((answer.error = wideText(local, a)) != 0 || (answer.error = wideText(remote, b)) != 0) return answer;
    auto body = [&] { answer.value = p.wide.putFile(a.data(), b.data(), copyFlags); };
    answer.error = contained(p, body);
  } else if (p.ansi.putFile != nullptr) {
    std::string a, b;
    if ((answer.error = ansiText(local, a)) != 0 || (answer.error = ansiText(remote, b)) != 0) return answer;
    auto body = [&] { answer.value = p.ansi.putFile(a.data(), b.data(), copyFlags); };
    answer.error = contained(p, body);
  }
  return answer;
}

Answer<int32_t> executeFile(FileSystemPlugin& p, void* window, std::u16string_view remoteName,
                            std::u16string_view verb) {
  Answer<int32_t> answer;
  // The module may write a name back into the remote name: it gets a whole buffer.
  constexpr size_t kBuffer = kMaxModulePath + 1;
  if (p.wide.executeFile != nullptr) {
    std::u16string a, b;
    if ((answer.error = wideText(remoteName, a, kBuffer)) != 0 || (answer.error = wideText(verb, b)) != 0) {
      return answer;
    }
    auto body = [&] { answer.value = p.wide.executeFile(window, a.data(), b.data()); };
    answer.error = contained(p, body);
  } else if (p.ansi.executeFile != nullptr) {
    std::string a, b;
    if ((answer.error = ansiText(remoteName, a, kBuffer)) != 0 || (answer.error = ansiText(verb, b)) != 0) {
      return answer;
    }
    auto body = [&] { answer.value = p.ansi.executeFile(window, a.data(), b.data()); };
    answer.error = contained(p, body);
  }
  return answer;
}

void statusInfo(FileSystemPlugin& p, std::u16string_view folder, int32_t startEnd, int32_t operation) {
  (void)withPath<int>(
      p, p.wide.statusInfo, p.ansi.statusInfo, folder,
      [&](auto f, wfx::WChar* a) {
        f(a, startEnd, operation);
        return 0;
      },
      [&](auto f, char* a) {
        f(a, startEnd, operation);
        return 0;
      });
}

Answer<int32_t> extractCustomIcon(FileSystemPlugin& p, std::u16string_view remoteName, int32_t flags, void** icon) {
  Answer<int32_t> answer;
  *icon = nullptr;
  constexpr size_t kBuffer = kMaxModulePath + 1;
  if (p.wide.extractCustomIcon != nullptr) {
    std::u16string a;
    if ((answer.error = wideText(remoteName, a, kBuffer)) != 0) return answer;
    auto body = [&] { answer.value = p.wide.extractCustomIcon(a.data(), flags, icon); };
    answer.error = contained(p, body);
  } else if (p.ansi.extractCustomIcon != nullptr) {
    std::string a;
    if ((answer.error = ansiText(remoteName, a, kBuffer)) != 0) return answer;
    auto body = [&] { answer.value = p.ansi.extractCustomIcon(a.data(), flags, icon); };
    answer.error = contained(p, body);
  }
  return answer;
}

Answer<bool> getLocalName(FileSystemPlugin& p, std::u16string_view remoteName, std::u16string& local) {
  Answer<bool> answer;
  local.clear();
  constexpr size_t kBuffer = kMaxModulePath + 1;
  if (p.wide.getLocalName != nullptr) {
    std::u16string a;
    if ((answer.error = wideText(remoteName, a, kBuffer)) != 0) return answer;
    auto body = [&] { answer.value = p.wide.getLocalName(a.data(), static_cast<int32_t>(kBuffer)) != 0; };
    answer.error = contained(p, body);
    if (answer.answered() && answer.value) local.assign(bounded(a.data(), kBuffer));
  } else if (p.ansi.getLocalName != nullptr) {
    std::string a;
    if ((answer.error = ansiText(remoteName, a, kBuffer)) != 0) return answer;
    auto body = [&] { answer.value = p.ansi.getLocalName(a.data(), static_cast<int32_t>(kBuffer)) != 0; };
    answer.error = contained(p, body);
    if (answer.answered() && answer.value) local = platform::ansiToUtf16(bounded(a.data(), kBuffer));
  }
  return answer;
}

Answer<std::u16string> defaultRootName(FileSystemPlugin& p) {
  Answer<std::u16string> answer;
  if (p.getDefRootName == nullptr) return answer;
  std::string buffer(1024, '\0');
  auto body = [&] { p.getDefRootName(buffer.data(), static_cast<int32_t>(buffer.size())); };
  answer.error = contained(p, body);
  if (answer.answered()) {
    answer.value = platform::ansiToUtf16(bounded(buffer.data(), buffer.size()));
    if (answer.value.size() > 63) answer.value.resize(63);
  }
  return answer;
}

Answer<bool> linksToLocalFiles(FileSystemPlugin& p) {
  Answer<bool> answer;
  if (p.linksToLocalFiles == nullptr) return answer;
  auto body = [&] { answer.value = p.linksToLocalFiles() != 0; };
  answer.error = contained(p, body);
  return answer;
}

ErrorCode initialise(FileSystemPlugin& p) {
  namespace cb = plugin_callbacks;
  if (p.ansi.init != nullptr) {
    auto body = [&] { (void)p.ansi.init(0, &cb::progressA, &cb::logA, &cb::requestA); };
    (void)contained(p, body);
  }
  if (p.wide.init != nullptr) {
    auto body = [&] { (void)p.wide.init(0, &cb::progressW, &cb::logW, &cb::requestW); };
    (void)contained(p, body);
  }
  return p.unusable.load() ? kErrorDllInitFailed : kSuccess;
}

ErrorCode setDefaultParams(FileSystemPlugin& p, const wfx::DefaultParams& params) {
  if (p.setDefaultParams == nullptr) return kErrorNotSupported;
  wfx::DefaultParams copy = params;
  auto body = [&] { p.setDefaultParams(&copy); };
  return contained(p, body);
}

}  // namespace crvl::plugin_calls
