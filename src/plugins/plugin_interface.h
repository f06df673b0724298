// The published interface of file-system plug-in modules, as the program calls it: the
// exported functions (an ANSI form and, for most, a wide form named with "W" appended),
// the callbacks handed to a module, its records and its constants.
//
// The Windows types have fixed layouts on both builds (WCHAR 16 bits, BOOL int32, DWORD
// uint32, HANDLE/HWND/HICON pointers, FILETIME two uint32 halves, the find records as in
// the Windows headers with MAX_PATH 260), so that a POSIX module exports the same names
// with the same records. x64 has one calling convention: the plain C one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace crvl::wfx {

using Bool = int32_t;
using Dword = uint32_t;
using WChar = char16_t;
using Handle = void*;

inline constexpr size_t kMaxPath = 260;
// The handle FsFindFirst answers when it lists nothing (INVALID_HANDLE_VALUE).
inline Handle invalidHandle() noexcept { return reinterpret_cast<Handle>(static_cast<intptr_t>(-1)); }

struct FileTime {
  Dword low;
  Dword high;
};

struct FindDataA {
  Dword attributes;
  FileTime creationTime;
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  Dword sizeHigh;
  Dword sizeLow;
  Dword reserved0;  // the Unix mode when attributes has kUnixModeFlag
  Dword reserved1;
  char name[kMaxPath];
  char alternateName[14];
};

struct FindDataW {
  Dword attributes;
  FileTime creationTime;
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  Dword sizeHigh;
  Dword sizeLow;
  Dword reserved0;
  Dword reserved1;
  WChar name[kMaxPath];
  WChar alternateName[14];
};

static_assert(sizeof(FindDataA) == 320 && offsetof(FindDataA, name) == 44);
static_assert(sizeof(FindDataW) == 592 && offsetof(FindDataW, alternateName) == 564);

struct RemoteInfo {
  Dword sizeLow;
  Dword sizeHigh;
  FileTime lastWriteTime;
  int32_t attributes;
};
static_assert(sizeof(RemoteInfo) == 20);

struct DefaultParams {
  int32_t size;  // 272
  Dword interfaceVersionLow;
  Dword interfaceVersionHigh;
  char defaultIniName[kMaxPath];
};
static_assert(sizeof(DefaultParams) == 272);

// Callbacks the program hands to FsInit / FsInitW.
using ProgressProcA = int32_t (*)(int32_t pluginNr, char* sourceName, char* targetName, int32_t percentDone);
using ProgressProcW = int32_t (*)(int32_t pluginNr, WChar* sourceName, WChar* targetName, int32_t percentDone);
using LogProcA = void (*)(int32_t pluginNr, int32_t messageType, char* text);
using LogProcW = void (*)(int32_t pluginNr, int32_t messageType, WChar* text);
using RequestProcA = Bool (*)(int32_t pluginNr, int32_t requestType, char* customTitle, char* customText,
                              char* returnedText, int32_t maxLength);
using RequestProcW = Bool (*)(int32_t pluginNr, int32_t requestType, WChar* customTitle, WChar* customText,
                              WChar* returnedText, int32_t maxLength);

// The exported functions. C is the character type of the form (char or WChar), D the
// find record of that form.
template <typename C, typename D, typename ProgressProc, typename LogProc, typename RequestProc>
struct Entries {
  using Init = int32_t (*)(int32_t pluginNr, ProgressProc, LogProc, RequestProc);
  using FindFirst = Handle (*)(C* path, D* findData);
  using FindNext = Bool (*)(Handle handle, D* findData);
  using MkDir = Bool (*)(C* path);
  using ExecuteFile = int32_t (*)(void* mainWindow, C* remoteName, C* verb);
  using RenMovFile = int32_t (*)(C* oldName, C* newName, Bool move, Bool overwrite, RemoteInfo* info);
  using GetFile = int32_t (*)(C* remoteName, C* localName, int32_t copyFlags, RemoteInfo* info);
  using PutFile = int32_t (*)(C* localName, C* remoteName, int32_t copyFlags);
  using Delete = Bool (*)(C* remoteName);
  using RemoveDir = Bool (*)(C* remoteName);
  using Disconnect = Bool (*)(C* disconnectRoot);
  using SetAttr = Bool (*)(C* remoteName, int32_t newAttributes);
  using SetTime = Bool (*)(C* remoteName, FileTime* creation, FileTime* lastAccess, FileTime* lastWrite);
  using StatusInfo = void (*)(C* remoteFolder, int32_t startEnd, int32_t operation);
  using ExtractCustomIcon = int32_t (*)(C* remoteName, int32_t extractFlags, void** icon);
  using GetLocalName = Bool (*)(C* remoteName, int32_t maxLength);
};
using EntriesA = Entries<char, FindDataA, ProgressProcA, LogProcA, RequestProcA>;
using EntriesW = Entries<WChar, FindDataW, ProgressProcW, LogProcW, RequestProcW>;

// The functions that exist in the ANSI form only.
using FindCloseFn = int32_t (*)(Handle handle);
using GetDefRootNameFn = void (*)(char* defRootName, int32_t maxLength);
using SetDefaultParamsFn = void (*)(DefaultParams* params);
using LinksToLocalFilesFn = Bool (*)();

// Results of FsGetFile, FsPutFile and FsRenMovFile.
enum : int32_t {
  kFileOk = 0,
  kFileExists = 1,
  kFileNotFound = 2,
  kFileReadError = 3,
  kFileWriteError = 4,
  kFileUserAbort = 5,
  kFileNotSupported = 6,
  kFileExistsResumeAllowed = 7,
};

// Request types of the request callback.
enum : int32_t {
  kRequestUserName = 1,
  kRequestPassword = 2,
  kRequestAccount = 3,
  kRequestFirewallUserName = 4,
  kRequestFirewallPassword = 5,
};

// FsStatusInfo.
enum : int32_t { kStatusStart = 0, kStatusEnd = 1 };
enum : int32_t {
  kOperationList = 1,
  kOperationGetMultiple = 3,
  kOperationPutMultiple = 5,
  kOperationRenameMultiple = 7,
  kOperationDelete = 8,
  kOperationAttributes = 9,
  kOperationMakeFolder = 10,
  kOperationExecute = 11,
};

// FsExtractCustomIcon flags and results.
enum : int32_t { kIconSmall = 1, kIconBackground = 2 };
enum : int32_t { kIconUseDefault = 0, kIconExtracted = 1, kIconExtractedDestroy = 2 };

// FsExecuteFile results.
enum : int32_t { kExecuteOk = 0, kExecuteError = 1, kExecuteYourself = -1 };

// Attributes: this bit marks reserved0 as a Unix mode.
inline constexpr Dword kUnixModeFlag = 0x80000000u;

// The interface version the program declares in FsSetDefaultParams.
inline constexpr Dword kInterfaceVersionLow = 10;
inline constexpr Dword kInterfaceVersionHigh = 2;

}  // namespace crvl::wfx
