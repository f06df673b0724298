// One SSH session with its SFTP channel per connection and process: opened at the first
// call, reused, closed at FsDisconnect and at unload. A dropped session is opened again
// once on the next call; a refusal (host key unknown or changed, authentication failed,
// connection refused) is final until the next run, so later calls fail at once.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <functional>
#include <mutex>
#include <string>

#include "sftp_config.h"

namespace sftp {

// Asks for a password or passphrase through the program's request callback: the
// title, the text shown, the answer. False: no answer.
using AskFunction = std::function<bool(const std::string& title, std::string& answer)>;
// Writes one line of the module's log.
using LogFunction = std::function<void(const std::string& line)>;

// Connects to host:port, takes the SSH handshake and closes again: the fingerprint of
// the server's host key ("SHA256:" and base64, as ssh-keygen -lf prints it). False with
// the reason in `error` when there is no connection or no handshake.
bool probeHostKey(const std::string& host, int port, std::string& fingerprint, std::string& error);

class Session {
 public:
  Session(std::string name, std::string iniFile) : name_(std::move(name)), iniFile_(std::move(iniFile)) {}
  ~Session() { close(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The SFTP channel, opening the session when needed; null when it cannot be opened
  // (the reason went to the log).
  LIBSSH2_SFTP* sftp(const AskFunction& ask, const LogFunction& log);
  // Called after a failed operation: when the session itself is gone, it is closed so
  // that the next call opens it again (once).
  void checkDropped(const LogFunction& log);
  void close();
  // Closed on request (FsDisconnect): the next call opens a fresh session, not a reopening.
  void disconnect() {
    close();
    everOpened_ = reopened_ = false;
  }

  // Held around every use of the session: libssh2 sessions are not shared by threads.
  std::mutex lock;

 private:
  bool open(const AskFunction& ask, const LogFunction& log);
  bool checkHostKey(const Connection& c, const LogFunction& log);
  bool authenticate(const Connection& c, const AskFunction& ask, const LogFunction& log);

  std::string name_, iniFile_;
  libssh2_socket_t socket_ = LIBSSH2_INVALID_SOCKET;
  LIBSSH2_SESSION* session_ = nullptr;
  LIBSSH2_SFTP* sftp_ = nullptr;
  bool refused_ = false;     // final for this process
  bool reopened_ = false;    // the one reopening after a drop has been used
  bool everOpened_ = false;
  int passwordsRefused_ = 0;
};

}  // namespace sftp
