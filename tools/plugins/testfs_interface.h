// The types of the file-system plug-in interface as a module sees them. On Windows they
// come from the system headers; elsewhere they are given here with the fixed layouts a
// POSIX module uses (16-bit wide characters, 32-bit BOOL and DWORD, FILETIME as two
// 32-bit halves, MAX_PATH 260).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#define TESTFS_EXPORT extern "C" __declspec(dllexport)
using TChar16 = wchar_t;
#else
#define TESTFS_EXPORT extern "C" __attribute__((visibility("default")))
using TChar16 = char16_t;
using BOOL = int32_t;
using DWORD = uint32_t;
using HANDLE = void*;
using HWND = void*;
using HICON = void*;
#define MAX_PATH 260
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char16_t cFileName[MAX_PATH];
  char16_t cAlternateFileName[14];
};
#endif

static_assert(sizeof(TChar16) == 2);

struct RemoteInfoStruct {
  DWORD SizeLow, SizeHigh;
  FILETIME LastWriteTime;
  int Attr;
};

struct FsDefaultParamStruct {
  int size;
  DWORD PluginInterfaceVersionLow;
  DWORD PluginInterfaceVersionHi;
  char DefaultIniName[MAX_PATH];
};

typedef int (*tProgressProc)(int PluginNr, char* SourceName, char* TargetName, int PercentDone);
typedef int (*tProgressProcW)(int PluginNr, TChar16* SourceName, TChar16* TargetName, int PercentDone);
typedef void (*tLogProc)(int PluginNr, int MsgType, char* LogString);
typedef void (*tLogProcW)(int PluginNr, int MsgType, TChar16* LogString);
typedef BOOL (*tRequestProc)(int PluginNr, int RequestType, char* CustomTitle, char* CustomText, char* ReturnedText,
                             int maxlen);
typedef BOOL (*tRequestProcW)(int PluginNr, int RequestType, TChar16* CustomTitle, TChar16* CustomText,
                              TChar16* ReturnedText, int maxlen);

enum { FS_FILE_OK = 0, FS_FILE_EXISTS = 1, FS_FILE_NOTFOUND = 2, FS_FILE_READERROR = 3, FS_FILE_WRITEERROR = 4 };
enum { RT_UserName = 1, RT_Password = 2 };
enum { FS_COPYFLAGS_OVERWRITE = 1 };
enum { FS_EXEC_OK = 0, FS_EXEC_ERROR = 1, FS_EXEC_YOURSELF = -1 };
