// What every console command shares: output to the console, error lines, the system's
// messages, numbers as text, and a small JSON writer for the listings' --json form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "cli/cli_options.h"
#include "platform/errors.h"

namespace crvl {
class ProfileStore;
struct AppState;
}  // namespace crvl

namespace crvl::cli {

// How the console answers password requests: the first line of standard input with
// --password-stdin; otherwise it cannot ask, and says once how to give one.
struct ConsolePassword {
  bool fromInput = false;
  bool hintShown = false;
  // Set while the system's scheduler wants the password of the account its tasks run
  // as (the hint then names the account, not a plug-in).
  bool accountAsks = false;
};

// What a command works on.
struct Console {
  const CommandLine& line;
  ProfileStore& settings;
  AppState& app;
  ConsolePassword* password = nullptr;
};

void print(std::u16string_view text);
// "crvl: " and the text on standard error.
void printError(std::u16string_view text);
// A usage or input error: the message on standard error; returns kExitUsage.
[[nodiscard]] int badInput(std::u16string_view text);

// The system's message of a code, without its line end.
[[nodiscard]] std::u16string messageText(ErrorCode code);
[[nodiscard]] std::u16string decimal(uint64_t value);
// `text` in double quotes, for messages that name a word.
[[nodiscard]] std::u16string quoted(std::u16string_view text);

// Builds JSON text: objects and arrays with string, number and boolean values, strings
// escaped (control characters, quotes and backslashes; every other character as it is).
class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  JsonWriter& key(std::u16string_view name);
  JsonWriter& value(std::u16string_view text);
  JsonWriter& value(const char16_t* text) { return value(std::u16string_view(text)); }
  JsonWriter& value(const std::u16string& text) { return value(std::u16string_view(text)); }
  JsonWriter& value(bool flag);
  JsonWriter& null();
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  JsonWriter& value(T number) {
    return integer(static_cast<int64_t>(number));
  }
  // key and value together.
  template <typename T>
  JsonWriter& field(std::u16string_view name, const T& v) {
    key(name);
    return value(v);
  }
  [[nodiscard]] const std::u16string& text() const noexcept { return text_; }

 private:
  void separate();
  JsonWriter& integer(int64_t number);
  std::u16string text_;
  bool first_ = true;
};

}  // namespace crvl::cli
