// The job editor ("Job") and its folder-pair dialog ("Folders"). The rules live in
// JobEditor and the folder-pair form; these windows show them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/errors.h"

namespace crvl {
struct Job;
}

namespace crvl::shell {

// Saves a job at the editor's "&OK": 0, or the reason it could not.
using JobSaver = std::function<ErrorCode(Job& job)>;

// Runs the job editor on `job` over `owner`. On "&OK" the dialog's values (options,
// filter switch, folders, filter) go into a copy of `job`, which `save` stores (as it
// changes it); when the save fails, a message box names the job file and the reason
// and the editor stays open with its fields. Once saved (or without `save`), `job`
// takes the copy and the answer is true. On Cancel `job` is untouched.
bool editJob(HWND owner, Job& job, const JobSaver& save = {});

// Runs the folder-pair dialog on the two stored side texts (empty for a new pair). On
// "&OK" they take the texts written back from the fields and the answer is true.
bool editFolderPair(HWND owner, std::u16string* left, std::u16string* right);

}  // namespace crvl::shell
