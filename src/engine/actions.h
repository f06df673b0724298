// Carrying out one action of a run: copies in either direction, orphan deletion,
// folder-tree deletion, folder creation and folder times. Each action clears the run's
// error text, calls the side providers (not in a simulation), accounts the result and
// reports it to the run's log sink.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/entry_list.h"
#include "engine/provider_table.h"
#include "engine/sync_run.h"
#include "platform/errors.h"

namespace crvl {

enum class Side { Left, Right };
enum class CopyDirection { ToRight, ToLeft };

// Error accounting: 0 and 1246 are success. Any other result sets the run's error text
// to the system message of the code when the text is still empty (a result that is
// negative as int32 takes the message of 5). Returns true on success.
bool accountResult(SyncRun& run, ErrorCode result);
// The same accounting into an error text of the caller's (a copy carried out on a
// worker thread keeps its own until it is reported).
bool accountResult(std::u16string& errorText, ErrorCode result);

// Reports through the run's log sink (when it has one) with the run's error text,
// which the sink empties. Each side's text gets that side's log prefix in front.
void report(SyncRun& run, int32_t marker, LogText left, LogText right);

// The progress callback handed to provider operations with the run as context: answers
// 1 once the run's stop word is set; a kind 6 report with a text sets the error text.
int32_t runProgress(int32_t kind, const void* data, intptr_t reserved, void* context);

// The two full paths of a file record: each side's folder from the pair's header
// record joined with the side's name, or with the other side's name when it is empty.
void recordPaths(const EntryList& list, uint32_t offset, std::u16string& leftPath,
                 std::u16string& rightPath);

// Copies the file of the record at `offset` (codes 0, 5, 6, 8, 9, 10) to the other side,
// through the source provider's getFile when the target side is local, else the target
// provider's putFile when the source side is local; between two sides that are neither
// (two plug-ins) through a temporary local file that the source's getFile fills and the
// target's putFile reads, removed afterwards whatever happened. A copy
// onto a file the record has passes kCopyOverwrite; a copy that adds a file passes no
// flag, so an entry that appeared meanwhile is never replaced.
// Reports -3/-5 (to the right) or -2/-4 (to the left).
ErrorCode copyRecord(SyncRun& run, const EntryList& list, uint32_t offset,
                     CopyDirection direction);

// What one copy did, for its report: the marker, both full paths and the result.
struct CopyOutcome {
  ErrorCode result = 0;
  int32_t marker = 0;
  std::u16string leftPath;
  std::u16string rightPath;
};

// The copy of copyRecord without its accounting and report, with the caller's progress
// callback (which also receives any kind 6 text). Reads the run's sides and execute
// flag only, so that copies between two local sides may run on several threads at
// once while the run thread waits for them.
void performCopy(SyncRun& run, const EntryList& list, uint32_t offset, CopyDirection direction,
                 ProgressCallback progress, void* progressData, CopyOutcome& out);

// Deletes the left and/or right file of the record (codes 5 and 6), reporting -6 for
// each; a failure on the left ends before the right. Folders are never deleted here.
ErrorCode deleteOrphanFile(SyncRun& run, const EntryList& list, uint32_t offset,
                           bool deleteLeft, bool deleteRight);

// Deletes a folder tree on one side, depth first: -6 for every file, -7 for every
// folder. `attributes` are the folder's own, as listed: a folder that is a link or
// other reparse point is removed as an entry, and so is every link inside the tree;
// none is ever entered. A folder whose listing fails is reported (-7 with the error)
// and kept with everything in it. The program's abandoned temporary files in the tree
// are removed. Ends early (before the next entry) when the stop word is set; the
// folder's own removal is still attempted.
ErrorCode deleteFolderTree(SyncRun& run, Side side, std::u16string_view path, uint16_t attributes);

// Creates a folder and its missing parents (when executing); reports -8 only on failure.
ErrorCode createFolder(SyncRun& run, Side side, std::u16string_view path);

// Sets a local folder's creation and last write time (times below the unset limit are
// left alone) and then its attributes (unless bit 0x8000 is set) from `source`.
// Nothing happens unless the side is the local provider and the run executes.
ErrorCode copyFolderTimesAndAttributes(SyncRun& run, Side side, std::u16string_view path,
                                       const EntryBlock& source);

// Makes a folder with its parents through a provider: an existing folder is success;
// 0, 50 and 1246 from makeFolder are final; otherwise the parent is made and makeFolder
// tried once more.
ErrorCode makeFolderWithParents(FileSystemProvider* slot, ProviderHandle* handle,
                                std::u16string_view path);

}  // namespace crvl
