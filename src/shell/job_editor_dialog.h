// The job editor ("Job") and its folder-pair dialog ("Folders"). The rules live in
// JobEditor and the folder-pair form; these windows show them.
#pragma once

#include <windows.h>

#include <string>

namespace crvl {
struct Job;
}

namespace crvl::shell {

// Runs the job editor on `job` over `owner`. On "&OK" `job` takes the dialog's values
// (options, filter switch, folders, filter) and the answer is true; nothing is saved
// here. On Cancel `job` is untouched.
bool editJob(HWND owner, Job& job);

// Runs the folder-pair dialog on the two stored side texts (empty for a new pair). On
// "&OK" they take the texts written back from the fields and the answer is true.
bool editFolderPair(HWND owner, std::u16string* left, std::u16string* right);

}  // namespace crvl::shell
