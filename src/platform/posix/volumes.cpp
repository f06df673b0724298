// POSIX volumes: a volume is a mounted file system. Its serial comes from the
// file-system UUID (the /dev/disk/by-uuid link that points at its block device), so a
// FAT or exFAT stick has the serial Windows shows; file systems without a UUID are
// identified by their device number. There are no drive letters and no ejection.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/volumes.h"

namespace crvl::platform {

namespace {

struct UuidDevice {
  dev_t device;
  uint32_t serial;
};

// The block devices that have a file-system UUID, read once per query.
std::vector<UuidDevice> uuidDevices() {
  std::vector<UuidDevice> devices;
  const char* folder = "/dev/disk/by-uuid";
  DIR* dir = opendir(folder);
  if (dir == nullptr) return devices;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::string link = std::string(folder) + "/" + entry->d_name;
    struct stat st {};
    if (stat(link.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) continue;
    devices.push_back({st.st_rdev, serialFromUuid(entry->d_name)});
  }
  closedir(dir);
  return devices;
}

uint32_t serialOfDevice(dev_t device, const std::vector<UuidDevice>& devices) {
  for (const UuidDevice& d : devices) {
    if (d.device == device && d.serial != 0) return d.serial;
  }
  // No UUID (tmpfs, overlay, network file systems): the device number identifies the
  // file system for as long as it stays mounted.
  uint64_t value = static_cast<uint64_t>(major(device)) << 20 ^ minor(device);
  uint32_t folded = static_cast<uint32_t>(value ^ (value >> 32));
  return folded != 0 ? folded : 0x00C0FFEEu;
}

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
std::string unescapeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// The blank-separated fields of one line of a mount table.
std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  while ((at = line.find_first_not_of(" \t\r\n", at)) != std::string_view::npos) {
    const size_t end = line.find_first_of(" \t\r\n", at);
    fields.push_back(line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    at = end;
  }
  return fields;
}

// Every line's field `index`, unescaped, from a mount table; false when it cannot be read.
// Lines beginning with '#' are comments (fstab).
bool readMountField(const char* file, size_t index, std::vector<std::string>& out) {
  FILE* f = std::fopen(file, "re");
  if (f == nullptr) return false;
  char line[4096];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    const std::vector<std::string_view> fields = fieldsOf(line);
    if (fields.size() <= index || fields[0].starts_with('#')) continue;
    out.push_back(unescapeMountField(fields[index]));
  }
  std::fclose(f);
  return true;
}

// The path with the links of its existing part resolved: the real path of its nearest
// existing folder, followed by the components that do not exist yet.
std::string resolvedPath(const std::string& path) {
  std::string head = path;
  std::string rest;
  for (;;) {
    if (char* real = ::realpath(head.c_str(), nullptr)) {
      std::string out(real);
      std::free(real);
      if (!rest.empty()) out += (out.back() == '/' ? "" : "/") + rest;
      return out;
    }
    const size_t cut = head.find_last_of('/');
    if (cut == std::string::npos || head == "/") return path;
    const std::string name = head.substr(cut + 1);
    if (!name.empty()) rest = rest.empty() ? name : name + "/" + rest;
    head.resize(cut == 0 ? 1 : cut);
  }
}

bool liesAtOrBelow(const std::string& path, const std::string& folder) {
  if (!path.starts_with(folder)) return false;
  return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}

// Without a readable mount list: a mounted folder lies on another device than its parent.
bool deviceDiffersFromParent(const std::string& folder) {
  struct stat here {}, above {};
  const std::string parent = folder.substr(0, std::max<size_t>(folder.find_last_of('/'), 1));
  return stat(folder.c_str(), &here) == 0 && stat(parent.c_str(), &above) == 0 && here.st_dev != above.st_dev;
}

}  // namespace

bool liesOnUnmountedMountPoint(std::u16string_view path) {
  const std::string given = toSystemBytes(path);
  if (given.empty() || given[0] != '/') return false;
  const char* table = std::getenv("CRVL_FSTAB");
  std::vector<std::string> points;
  if (!readMountField(table != nullptr && *table != 0 ? table : "/etc/fstab", 1, points)) return false;
  const std::string resolved = resolvedPath(given);
  std::vector<std::string> mounted;
  const bool listed = readMountField("/proc/self/mountinfo", 4, mounted);
  for (const std::string& point : points) {
    // Swap areas ("none", "swap") and pseudo entries name no folder; "/" is always there.
    if (point.size() < 2 || point[0] != '/') continue;
    const std::string folder = resolvedPath(point);
    if (folder == "/" || !liesAtOrBelow(resolved, folder)) continue;
    const bool isMounted = listed ? std::find(mounted.begin(), mounted.end(), folder) != mounted.end()
                                  : deviceDiffersFromParent(folder);
    if (!isMounted) return true;
  }
  return false;
}

uint32_t volumeSerial(std::u16string_view path) {
  std::string p = toSystemBytes(path);
  // The folder itself need not exist: its nearest existing ancestor decides.
  while (!p.empty()) {
    struct stat st {};
    if (stat(p.c_str(), &st) == 0) return serialOfDevice(st.st_dev, uuidDevices());
    size_t cut = p.find_last_of('/');
    if (cut == std::string::npos) return 0;
    if (cut == 0) {
      if (p == "/") return 0;
      p = "/";
    } else {
      p.resize(cut);
    }
  }
  return 0;
}

uint32_t presentDrives() { return 0; }

DriveClass driveClass(char16_t) { return DriveClass::NotSearchable; }

bool findMountWithSerial(uint32_t serial, std::u16string* mountPoint) {
  if (serial == 0) return false;
  FILE* f = std::fopen("/proc/self/mountinfo", "re");
  if (f == nullptr) return false;
  std::vector<UuidDevice> devices = uuidDevices();
  char line[4096];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f) != nullptr) {
    // id parent major:minor root mount-point options ...
    std::string_view rest(line);
    std::string_view fields[5];
    for (auto& field : fields) {
      size_t start = rest.find_first_not_of(' ');
      if (start == std::string_view::npos) break;
      rest.remove_prefix(start);
      size_t end = rest.find_first_of(" \n");
      field = rest.substr(0, end);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
    // Only whole file systems: a bind mount of a sub-folder would move the path.
    if (fields[3] != "/" || fields[4].empty()) continue;
    unsigned maj = 0, mnr = 0;
    if (std::sscanf(std::string(fields[2]).c_str(), "%u:%u", &maj, &mnr) != 2) continue;
    if (serialOfDevice(makedev(maj, mnr), devices) != serial) continue;
    *mountPoint = fromSystemBytes(unescapeMountField(fields[4]));
    found = true;
  }
  std::fclose(f);
  return found;
}

int32_t removeDriveDevice(char16_t) { return -1; }

void ejectDrive(char16_t) {}

}  // namespace crvl::platform
