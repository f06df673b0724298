#include "cli/console_io.h"

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace crvl::cli {

void print(std::u16string_view text) { platform::writeConsole(platform::ConsoleStream::Out, text); }

void printError(std::u16string_view text) {
  platform::writeConsole(platform::ConsoleStream::Err, u"crvl: " + std::u16string(text) + u"\n");
}

int badInput(std::u16string_view text) {
  printError(text);
  return kExitUsage;
}

std::u16string messageText(ErrorCode code) {
  std::u16string message = platform::systemMessage(code);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) message.pop_back();
  if (message.empty() && code != 0) message = u"Error " + decimal(code);
  // The system's own words for the cause, where it has them (POSIX).
  if (const std::u16string cause = platform::posixCause(code); !cause.empty()) message += u" (" + cause + u")";
  return message;
}

std::u16string decimal(uint64_t value) { return platform::fromUtf8(std::to_string(value)); }

std::u16string quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

void JsonWriter::separate() {
  if (!first_) text_ += u',';
  first_ = false;
}

JsonWriter& JsonWriter::beginObject() {
  separate();
  text_ += u'{';
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  text_ += u'}';
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  separate();
  text_ += u'[';
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  text_ += u']';
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::key(std::u16string_view name) {
  value(name);
  text_ += u':';
  first_ = true;  // the value follows without a comma
  return *this;
}

JsonWriter& JsonWriter::value(std::u16string_view text) {
  separate();
  text_ += u'"';
  // Names are written as they are held: a byte that is not UTF-8 is a lone surrogate
  // (U+DC80 + byte), which no encoding of the output can carry, so it goes out as an
  // escape, like every control character. Surrogate pairs stay as they are.
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      text_ += c;
      text_ += text[++i];
    } else if (c == u'"' || c == u'\\') {
      text_ += u'\\';
      text_ += c;
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || high || low) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
      text_ += platform::fromUtf8(escape);
    } else {
      text_ += c;
    }
  }
  text_ += u'"';
  return *this;
}

JsonWriter& JsonWriter::integer(int64_t number) {
  separate();
  text_ += platform::fromUtf8(std::to_string(number));
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  text_ += u"null";
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  separate();
  text_ += flag ? u"true" : u"false";
  return *this;
}

}  // namespace crvl::cli
