#include "logs/log_writer.h"

#include <algorithm>

#include "platform/text.h"

namespace crvl {
namespace {

constexpr size_t kLineLimit = kLogLineUnits - 1;  // the buffer keeps its terminating zero
constexpr size_t kStateChars = kStateCellChars - 1;

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kCrLfUtf16 = std::string_view("\r\0\n\0", 4);

// Scratch buffers of the writing thread, reused from record to record.
struct Scratch {
  std::u16string line;
  std::u16string cells[4];
  std::string bytes;
  std::string cellBytes;
};
Scratch& scratch() {
  thread_local Scratch buffers;
  return buffers;
}

void appendUtf16Le(std::u16string_view text, std::string& out) {
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
}

std::string_view lineEnd(LogEncoding encoding) {
  return encoding == LogEncoding::Utf16 ? kCrLfUtf16 : kCrLf;
}

// Encodes `line` in the file's encoding into `out` (replacing it).
void encodeLine(std::u16string_view line, LogEncoding encoding, std::string& out) {
  out.clear();
  switch (encoding) {
    case LogEncoding::Ansi: out = toLogAnsi(line); break;
    case LogEncoding::Utf16: appendUtf16Le(line, out); break;
    case LogEncoding::Utf8: platform::appendUnitsAsUtf8(line, out); break;
  }
}

// Writes an encoded line, then the line end as a second write.
ErrorCode writeEncodedLine(const LogOutput& output, std::string_view bytes, LogEncoding encoding) {
  if (ErrorCode code = writeLogBytes(output, bytes.data(), bytes.size()); code != kSuccess) {
    return code;
  }
  const std::string_view end = lineEnd(encoding);
  return writeLogBytes(output, end.data(), end.size());
}

ErrorCode writeLine(const LogContext& log, LogEncoding encoding, std::u16string_view line) {
  std::string& bytes = scratch().bytes;
  encodeLine(line, encoding, bytes);
  return writeEncodedLine(log.output, bytes, encoding);
}

// Head texts of the HTML forms keep their characters (spaces, letters beyond ASCII)
// but not markup: a job name or label with '<' or '&' must not change the page.
std::u16string markupSafe(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'&': out += u"&amp;"; break;
      case u'"': out += u"&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::u16string_view cellText(LogText text) { return text ? *text : std::u16string_view{}; }

void composeTextLine(int32_t marker, LogText left, LogText right, std::u16string_view state,
                     std::u16string& line) {
  line.clear();
  line += markerText(marker);
  line += u' ';
  line += cellText(left);
  line += u' ';
  line += cellText(right);
  line += u' ';
  line += state.empty() ? std::u16string_view(u"OK") : state;
  if (line.size() > kLineLimit) line.resize(kLineLimit);
}

void writeRecord(const LogContext& log, const LogFormatInfo& info, int32_t marker, LogText left,
                 LogText right, std::u16string_view state) {
  Scratch& s = scratch();
  switch (log.format) {
    case kLogFormatText:
    case kLogFormatTextUnicode:
      composeTextLine(marker, left, right, state, s.line);
      (void)writeLine(log, info.encoding, s.line);
      return;
    case kLogFormatCsv: {
      const std::u16string_view cells[4] = {markerText(marker), cellText(left), cellText(right),
                                            state.empty() ? std::u16string_view(u"OK") : state};
      s.bytes.clear();
      for (size_t i = 0; i < 4; ++i) appendCsvCell(toLogAnsi(cells[i]), i == 0, s.bytes);
      if (s.bytes.size() > kLineLimit) s.bytes.resize(kLineLimit);
      (void)writeEncodedLine(log.output, s.bytes, info.encoding);
      return;
    }
    case kLogFormatCsvUnicode: {
      const std::u16string_view cells[4] = {markerText(marker), cellText(left), cellText(right),
                                            state.empty() ? std::u16string_view(u"OK") : state};
      s.line.clear();
      for (size_t i = 0; i < 4; ++i) appendCsvCell(cells[i], i == 0, s.line);
      if (s.line.size() > kLineLimit) s.line.resize(kLineLimit);
      (void)writeLine(log, info.encoding, s.line);
      return;
    }
    default: {
      // HTML: escape every cell into its bounded buffer; an escaped text that does not
      // fit keeps its whole entities up to the limit.
      const std::u16string_view sources[4] = {markerText(marker), cellText(left),
                                              cellText(right), state};
      const size_t capacities[4] = {kMarkerCellChars, kPathCellChars, kPathCellChars,
                                    kStateCellChars};
      s.line.assign(u"<tr>");
      for (size_t i = 0; i < 4; ++i) {
        (void)escapeHtml(sources[i], capacities[i], s.cells[i]);
        if (s.cells[i].empty()) s.cells[i] = i < 3 ? u"&nbsp;" : u"OK";
        s.line += u"<td>";
        s.line += s.cells[i];
        s.line += u"</td>";
      }
      s.line += u"</tr>";
      if (s.line.size() > kLineLimit) s.line.resize(kLineLimit);
      (void)writeLine(log, info.encoding, s.line);
      return;
    }
  }
}

}  // namespace

std::u16string_view markerText(int32_t marker) noexcept {
  switch (marker) {
    case kMarkerFolderNotCreated: return u"++";
    case kMarkerFolderRemoved:
    case kMarkerFileDeleted: return u"--";
    case kMarkerCopiedNewRight: return u"+>";
    case kMarkerCopiedNewLeft: return u"<+";
    case kMarkerCopiedOverRight: return u"=>";
    case kMarkerCopiedOverLeft: return u"<=";
    case kMarkerConflict: return u"?";
    case kMarkerTypeClash: return u"Err";
    case kMarkerDifferent: return u"!";
    default: return {};  // -1 and unknown codes
  }
}

ErrorCode mapLogWriteError(ErrorCode code) noexcept { return platform::failureResult(code, kErrorDiskFull); }

ErrorCode writeLogBytes(const LogOutput& output, const void* data, size_t size) noexcept {
  if (output.write == nullptr) return kErrorInvalidHandle;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const size_t piece = std::min(size, kLogWritePiece);
    if (ErrorCode code = output.write(output.context, bytes, piece); code != kSuccess) {
      return mapLogWriteError(code);
    }
    bytes += piece;
    size -= piece;
  }
  return kSuccess;
}

void writeLogRecord(const LogContext& log, int32_t marker, LogText left, LogText right,
                    std::u16string& stateText) noexcept {
  try {
    const LogFormatInfo* info = logFormatInfo(log.format);
    if (log.output.write != nullptr && info != nullptr) {
      const std::u16string_view state =
          std::u16string_view(stateText).substr(0, std::min(stateText.size(), kStateChars));
      writeRecord(log, *info, marker, left, right, state);
    }
  } catch (...) {
    // Out of memory while composing: the record is lost, the run goes on.
  }
  stateText.clear();
}

std::u16string formatRecordLine(int32_t marker, LogText left, LogText right,
                                std::u16string_view stateText) {
  std::u16string line;
  composeTextLine(marker, left, right, stateText.substr(0, std::min(stateText.size(), kStateChars)),
                  line);
  return line;
}

ErrorCode writeLogHead(const LogContext& log, const LogHeadTexts& texts) noexcept {
  const LogFormatInfo* info = logFormatInfo(log.format);
  if (log.output.write == nullptr || info == nullptr) return kSuccess;
  try {
    const bool html = isHtmlFormat(log.format);
    auto headText = [html](std::u16string_view text) {
      return html ? markupSafe(text) : std::u16string(text);
    };
    std::u16string jobLine = headText(texts.jobLabel);
    jobLine += u' ';
    jobLine += headText(texts.jobName);
    std::u16string timeLine = headText(texts.createdAtLabel);
    timeLine += u' ';
    timeLine += headText(texts.startTime);

    std::u16string lines[5];
    size_t count = 0;
    if (html) {
      lines[count++] =
          u"<html><head><style><!--body{font-family:Verdana,Arial;font-size:10pt} --></style>"
          u"</head><body>";
      lines[count++] = jobLine + u"<br>";
      lines[count++] = timeLine + u"<br><br>";
      lines[count++] = u"<table border=1 width=\"100%\" cellspacing=0 cellpadding=0>";
      std::u16string header(u"<tr><th>=</th><th>#1</th><th>#2</th><th>");
      header += headText(texts.stateLabel);
      header += u"</th></tr>";
      lines[count++] = std::move(header);
    } else {
      lines[count++] = std::move(jobLine);
      lines[count++] = std::move(timeLine);
      if (isCsvFormat(log.format)) {
        std::u16string header;
        const std::u16string_view names[4] = {u"=", u"#1", u"#2", texts.stateLabel};
        for (size_t i = 0; i < 4; ++i) appendCsvCell(names[i], i == 0, header);
        lines[count++] = std::move(header);
      } else {
        lines[count++] = std::u16string();
      }
    }
    for (size_t i = 0; i < count; ++i) {
      if (ErrorCode code = writeLine(log, info->encoding, lines[i]); code != kSuccess) return code;
    }
    return kSuccess;
  } catch (...) {
    return kErrorNotEnoughMemory;
  }
}

ErrorCode writeLogFooter(const LogContext& log) noexcept {
  const LogFormatInfo* info = logFormatInfo(log.format);
  if (log.output.write == nullptr || info == nullptr || !isHtmlFormat(log.format)) {
    return kSuccess;
  }
  try {
    return writeLine(log, info->encoding, u"</table></body></html>");
  } catch (...) {
    return kErrorNotEnoughMemory;
  }
}

}  // namespace crvl
