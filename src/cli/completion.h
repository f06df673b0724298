// "crvl __complete WORDS... CURRENT": the shells' completion scripts (bash, zsh, fish)
// ask the program itself what may follow, so that completion reads the same command
// and option tables as the parser and the help. Not listed in the help: it is for the
// scripts, not for people.
#pragma once

#include <string>
#include <vector>

namespace crvl::cli {

// The word that introduces a completion request.
inline constexpr std::u16string_view kCompleteCommand = u"__complete";

// Prints the completion of `args` (the words after "__complete": those before the word
// being completed, then that word, possibly empty): one candidate per line on standard
// output, then a last line ":files", ":folders" or ":" telling the shell whether to
// add paths of its own. Job names come from the register of the settings file that a
// --settings among the words names, else of the user's own; nothing is ever written.
// Returns the exit status (0).
[[nodiscard]] int printCompletion(const std::vector<std::u16string>& args);

}  // namespace crvl::cli
