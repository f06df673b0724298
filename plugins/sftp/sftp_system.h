// What the SFTP module needs from the operating system, defined once per system
// (sftp_system_posix.cpp, sftp_system_win32.cpp): the TCP connection to the server,
// the engine's local files, file replacement by rename and the error code a failed
// listing leaves for the program.
#pragma once

#include <libssh2.h>

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#define SFTP_EXPORT extern "C" __declspec(dllexport)
#else
#define SFTP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace sftp {

// Called once before the first use of libssh2. On Windows the crypto library is told not
// to register its clean-up with the C library's exit handlers: those run at process exit
// after the module may have been unloaded.
void prepareCrypto();

// A TCP connection to host:port (any address the name resolves to); LIBSSH2_INVALID_SOCKET
// and the reason in `error` when none can be made.
libssh2_socket_t connectTo(const std::string& host, int port, std::string& error);
void closeSocket(libssh2_socket_t socket);

// A local file of the engine, named by its UTF-16 path. Move-only; closed by its end.
class LocalFile {
 public:
  LocalFile() = default;
  ~LocalFile();
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  [[nodiscard]] bool openRead(const std::u16string& path);
  // Created or emptied, for writing.
  [[nodiscard]] bool create(const std::u16string& path);
  // Bytes read (0 at the end), or -1 on a failure.
  [[nodiscard]] long long read(char* buffer, size_t size);
  [[nodiscard]] bool writeAll(const char* data, size_t size);
  // The access and modification times in whole seconds since 1970.
  [[nodiscard]] bool times(uint64_t& access, uint64_t& modification) const;
  // False when the data may not have reached the file.
  [[nodiscard]] bool close();

 private:
  intptr_t handle_ = -1;
};

// Whether an entry of that name exists (a link counts as one, never followed).
bool localEntryExists(const std::u16string& path);
bool removeLocalFile(const std::u16string& path);
bool setLocalTimes(const std::u16string& path, uint64_t access, uint64_t modification);

// Moves the file `from` onto `to`, replacing it at once (the module's own files).
bool replaceByRename(const std::string& from, const std::string& to);

// The error a failed FsFindFirst leaves: the folder holds no entries, or it cannot be read.
void reportNoEntries();
void reportNotFound();

}  // namespace sftp
