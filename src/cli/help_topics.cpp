#include "cli/help_topics.h"

#include "jobs/sync_modes.h"
#include "logs/log_format.h"
#include "platform/text.h"

namespace crvl::cli {

namespace {

constexpr std::u16string_view kFilter =
    u"How a filter is written (job new/job set --filter TEXT; job show prints it)\n"
    u"\n"
    u"Items are separated by ';' and start with + or - or one of the letters below. An item\n"
    u"that holds ';' or '\"' is written in double quotes. Only files are filtered; folders are\n"
    u"always compared (leave folders out with an excluded folder pair).\n"
    u"\n"
    u"  +MASKS     the file must match one of these masks (empty: any name)\n"
    u"  -MASKS     the file must match none of these masks; the d and l items after it set\n"
    u"             upper bounds, those before it lower bounds. A second - item replaces the\n"
    u"             first: put several masks into one quoted item.\n"
    u"  dUN        a time bound: N units U ago (S seconds, M minutes, H hours, Z days,\n"
    u"             W weeks, L months, Y years), or D a date / T a time of day (N packed as\n"
    u"             the job editor stores it). Before '-': files older are left out;\n"
    u"             after '-': files newer are left out.\n"
    u"  lUN        a size bound: N bytes (B), KiB (K), MiB (M) or GiB (G). Before '-': files\n"
    u"             smaller are left out; after '-': files larger are left out.\n"
    u"  aLETTERS   attributes: an upper-case letter must be set, a lower-case one clear:\n"
    u"             A archive, R read-only, S system, H hidden, C compressed, E encrypted,\n"
    u"             D folder (no file has it)\n"
    u"  c, r       the time bounds read the creation time, the last access time (default:\n"
    u"             the modification time)\n"
    u"\n"
    u"Masks: '*' any characters, '?' one character, compared without regard to case;\n"
    u"\"*.txt\" matches a.TXT, \"*.*\" matches names without a dot too, masks after \";;\"\n"
    u"are never tried.\n"
    u"\n"
    u"Examples (the stored form; quote it for the shell):\n"
    u"  -*.tmp                       every file but *.tmp\n"
    u"  \"-*.tmp;~*\";lK10             leave out *.tmp, names starting with ~ and files over 10 KiB\n"
    u"  -*.tmp;-~*;lK10              leave out names starting with ~ (the second - item\n"
    u"                               replaces *.tmp) and files over 10 KiB\n"
    u"  +*.doc;dZ7                   *.doc files changed within the last seven days\n"
    u"  \"+*.jpg;*.png\";lK10;-;lM5    pictures of 10 KiB to 5 MiB\n"
    u"  r;aRh;+*.doc;dZ7;-~*         read-only, not hidden *.doc files accessed within seven\n"
    u"                               days whose names do not start with ~\n"
    u"A filter item that breaks these rules is refused and quoted; nothing is written.\n";

// What each option token does, in the job file's order.
struct TokenHelp {
  std::string_view token;
  std::u16string_view text;
};
constexpr TokenHelp kTokens[] = {
    {"<+", u"copy files that exist only on the right to the left"},
    {"+>", u"copy files that exist only on the left to the right"},
    {"<=", u"copy files that are newer on the right over the left ones"},
    {"=>", u"copy files that are newer on the left over the right ones"},
    {"<-", u"delete files that exist only on the left"},
    {"->", u"delete files that exist only on the right"},
    {"<_", u"delete folders that exist only on the left, with their contents"},
    {"_>", u"delete folders that exist only on the right, with their contents"},
    {"?", u"copy conflicts (equal times, different sizes) from the left over the right"},
    {"!=", u"copy files that differ (with nd or b) from the left over the right"},
    {"d", u"go into sub-folders"},
    {"d+", u"with d: create folders that exist on one side only on the other (as the add options say)"},
    {"b", u"compare the contents of equal-sized files, where both sides can read them"},
    {"nd", u"ignore the dates: files differ only by size (or contents with b)"},
    {"2s", u"times up to two seconds apart count as equal (FAT, network shares)"},
    {"1h", u"times exactly one hour apart count as equal (summer time on FAT)"},
};

constexpr std::u16string_view kOutput =
    u"What a run prints (crvl run/simulate -v) and what its log holds\n"
    u"\n"
    u"One line per action: MARKER LEFT RIGHT STATE, the state \"OK\" or the reason it failed.\n"
    u"  +>   a new file copied to the right        <+   a new file copied to the left\n"
    u"  =>   a file copied over the right one     <=   a file copied over the left one\n"
    u"  --   a file deleted, or a folder removed with its contents\n"
    u"  ++   a folder created (listed with -v; in the log only when it could not be made)\n"
    u"  ?    a conflict: equal times, different sizes; left as it is unless \"?\" is set\n"
    u"  !    files that differ, left as they are unless \"!=\" is set\n"
    u"  Err  a type clash: a file facing a folder, or a linked folder not entered\n"
    u"  (no marker)  a folder that could not be reached; the pair was left alone\n"
    u"Lines of failures and of pairs left unsynchronised (?, !, Err) also go to standard\n"
    u"error, whatever -q or -v say. --json: one object at the end; with -v one object per\n"
    u"line as the actions happen.\n"
    u"\n"
    u"Log formats (crvl config set log-format N; the log of each run lies in the log\n"
    u"folder and is listed by crvl logs):\n";

}  // namespace

std::u16string_view helpTopicNames() { return u"filter, options, output"; }

std::u16string helpTopic(std::u16string_view word) {
  if (word == u"filter") return std::u16string(kFilter);
  if (word == u"options") {
    std::u16string text =
        u"The option tokens of a job (job new/job set --option TOKEN, job set --option -TOKEN\n"
        u"clears one; --mode sets a whole preset; job show lists them in words)\n\n";
    for (const OptionRow& row : OptionTable) {
      std::u16string line = u"  " + platform::fromUtf8(row.token);
      for (const TokenHelp& t : kTokens) {
        if (t.token == row.token) {
          line.resize(8, u' ');
          line += t.text;
        }
      }
      text += line + u"\n";
    }
    text += u"\nModes: Mirror, Augment, Refresh, Update, Consolidation, Bidirectional set their\n"
            u"tokens at once (crvl job show prints them). The filter: crvl help filter.\n";
    return text;
  }
  if (word == u"output") {
    std::u16string text(kOutput);
    for (LogFormat f = 1; f <= kLogFormatCount; ++f) {
      const LogFormatInfo* info = logFormatInfo(f);
      text += u"  " + platform::fromUtf8(std::to_string(f)) + u"  " + std::u16string(info->name) + u" (" +
              std::u16string(info->pattern) + u")\n";
    }
    text += u"Text logs hold the lines above; CSV logs the same four cells separated by ';'; HTML\n"
            u"logs a table of them. crvl logs show prints any of them as text.\n";
    return text;
  }
  return {};
}

}  // namespace crvl::cli
