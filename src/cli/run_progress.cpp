#include "cli/run_progress.h"

#include <cstdio>

#include "cli/console_report.h"
#include "engine/pair_scanner.h"
#include "platform/text.h"

namespace crvl::cli {

namespace {

bool has(OptionFlags flags, OptionFlags bit) noexcept { return (flags & bit) != 0; }

std::u16string number(uint64_t value) { return platform::fromUtf8(std::to_string(value)); }

// The last part of a path.
std::u16string_view lastPart(std::u16string_view path) {
  const size_t cut = path.find_last_of(u"/\\");
  return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

void planFolder(const EntryList& list, uint32_t equalFiles, OptionFlags f, FolderPlan& plan) {
  plan.leftEntries = plan.rightEntries = equalFiles;
  plan.copies = 0;
  plan.bytes = 0;
  plan.names.clear();
  action_record::Fields record;
  for (uint32_t offset = list.next(0); offset < list.byteSize(); offset = list.next(offset)) {
    action_record::load(list, offset, record);
    if (!record.leftName.empty()) ++plan.leftEntries;
    if (!record.rightName.empty()) ++plan.rightEntries;
    // The copies of the run's file walk: which side is the source, if any.
    const EntryBlock* source = nullptr;
    switch (record.code) {
      case kCodeConflict: source = has(f, kOptCopyConflictRight) ? &record.left : nullptr; break;
      case kCodeFileRightOnly: source = has(f, kOptAddLeft) ? &record.right : nullptr; break;
      case kCodeFileLeftOnly: source = has(f, kOptAddRight) ? &record.left : nullptr; break;
      case kCodeDifferent: source = has(f, kOptCopyDifferentRight) ? &record.left : nullptr; break;
      case kCodeLeftNewer: source = has(f, kOptUpdateRight) ? &record.left : nullptr; break;
      case kCodeRightNewer: source = has(f, kOptUpdateLeft) ? &record.right : nullptr; break;
      default: break;
    }
    if (source == nullptr) continue;
    ++plan.copies;
    plan.bytes += source->size;
    plan.names.push_back(source == &record.left ? record.leftName : record.rightName);
  }
}

void RunProgress::folderScanned(const EntryList& list, uint32_t equalFiles) {
  planFolder(list, equalFiles, flags_, folder_);
  next_ = 0;
  leftEntries_ += folder_.leftEntries;
  rightEntries_ += folder_.rightEntries;
  filesToDo_ += folder_.copies;
  bytesToDo_ += folder_.bytes;
}

void RunProgress::reported(int32_t marker, LogText left, LogText right) {
  if (marker < kMarkerCopiedNewRight || marker > kMarkerCopiedOverLeft) return;
  ++filesDone_;
  // The next planned copy is the one after the file reported (names the system cannot
  // hold are reported as copies that were never planned).
  const std::u16string_view path = left ? *left : right ? *right : std::u16string_view();
  if (next_ < folder_.names.size() && lastPart(path) == folder_.names[next_]) ++next_;
}

std::u16string RunProgress::line(uint64_t elapsedMs, size_t width) const {
  std::u16string text = u"scanned " + number(leftEntries_) + u"|" + number(rightEntries_) + u"  files " +
                        number(filesDone_) + u"/" + number(filesToDo_) + u"  " + formatBytes(bytesDone_) + u"/" +
                        formatBytes(bytesToDo_);
  const uint64_t rate = elapsedMs == 0 ? 0 : bytesDone_ * 1000 / elapsedMs;
  if (rate != 0) {
    text += u"  " + formatBytes(rate) + u"/s";
    if (bytesToDo_ > bytesDone_) text += u"  " + formatDuration((bytesToDo_ - bytesDone_) / rate) + u" left";
  }
  if (next_ < folder_.names.size()) text += u"  " + folder_.names[next_];
  if (width > 1 && text.size() >= width) {
    text.resize(width - 2);
    text += u"~";
  }
  return text;
}

std::u16string formatDuration(uint64_t seconds) {
  char buffer[32];
  if (seconds >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                  unsigned(seconds / 60 % 60), unsigned(seconds % 60));
  } else {
    std::snprintf(buffer, sizeof buffer, "%u:%02u", unsigned(seconds / 60), unsigned(seconds % 60));
  }
  return platform::fromUtf8(buffer);
}

}  // namespace crvl::cli
