// The help topics of the console: how a filter is written, what the option tokens of a
// job do, and what the lines of a run's output and of its log say.
#pragma once

#include <string>
#include <string_view>

namespace crvl::cli {

// The text of topic `word` ("filter", "options", "output"), ending in a line end; empty
// for any other word.
[[nodiscard]] std::u16string helpTopic(std::u16string_view word);

// The topics' names, separated by ", ".
[[nodiscard]] std::u16string_view helpTopicNames();

}  // namespace crvl::cli
