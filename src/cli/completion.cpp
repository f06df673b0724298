#include "cli/completion.h"

#include "cli/cli_options.h"
#include "cli/console_io.h"
#include "cli/settings_commands.h"
#include "jobs/job_register.h"
#include "jobs/profile_store.h"
#include "jobs/program_settings.h"
#include "platform/files.h"

namespace crvl::cli {
namespace {

// The job names of the register that start with `current`. The store is only read:
// completion must never change a settings file.
void addJobNames(const std::optional<std::u16string>& settingsPath, std::u16string_view current,
                 std::vector<std::u16string>& out) {
  std::u16string path = settingsPath.value_or(u"");
  if (path.empty()) {
    path = perUserSettingsPath();
    if (!platform::pathExists(path)) path = programFolderSettingsPath();
  }
  if (path.empty() || !platform::pathExists(path)) return;
  ProfileStore store;
  store.openStore(path, kStoreOwnFile);
  for (const RegisterRow& row : readRegister(store)) {
    if (row.kind == RegisterKind::Job && !row.name.empty() && row.name.starts_with(current)) out.push_back(row.name);
  }
}

}  // namespace

int printCompletion(const std::vector<std::u16string>& args) {
  const std::u16string current = args.empty() ? std::u16string() : args.back();
  const std::vector<std::u16string> before(args.begin(), args.empty() ? args.end() : args.end() - 1);
  const CompletionReply reply = completeArguments(before, current);
  std::vector<std::u16string> words = reply.words;
  CompletionFiles files = reply.files;
  if (reply.jobNames) addJobNames(reply.settings, current, words);
  if (reply.configKeys) {
    for (std::u16string& key : configSetKeys()) {
      if (key.starts_with(current)) words.push_back(std::move(key));
    }
  } else if (!reply.configValuesOf.empty()) {
    bool folder = false;
    for (std::u16string& value : configSetValues(reply.configValuesOf, &folder)) {
      if (value.starts_with(current)) words.push_back(std::move(value));
    }
    if (folder) files = CompletionFiles::Folders;
  }
  std::u16string out;
  for (const std::u16string& w : words) {
    // One candidate per line: a name holding a line break cannot be offered.
    if (w.find_first_of(u"\r\n") == std::u16string::npos) out += w + u"\n";
  }
  out += files == CompletionFiles::Files ? u":files\n" : files == CompletionFiles::Folders ? u":folders\n" : u":\n";
  print(out);
  return kExitOk;
}

}  // namespace crvl::cli
