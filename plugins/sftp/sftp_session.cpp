#include "sftp_session.h"

#include <cstring>

#include "sftp_system.h"
#include "sftp_text.h"

namespace sftp {
namespace {

std::string sessionError(LIBSSH2_SESSION* s) {
  char* message = nullptr;
  int length = 0;
  libssh2_session_last_error(s, &message, &length, 0);
  return message != nullptr ? std::string(message, static_cast<size_t>(length)) : std::string("unknown error");
}

// Errors after which the session itself is gone (not only the one request).
bool isSessionGone(int code) {
  return code == LIBSSH2_ERROR_SOCKET_SEND || code == LIBSSH2_ERROR_SOCKET_RECV ||
         code == LIBSSH2_ERROR_SOCKET_DISCONNECT || code == LIBSSH2_ERROR_TIMEOUT ||
         code == LIBSSH2_ERROR_CHANNEL_CLOSED || code == LIBSSH2_ERROR_CHANNEL_EOF_SENT ||
         code == LIBSSH2_ERROR_SOCKET_TIMEOUT || code == LIBSSH2_ERROR_BAD_SOCKET;
}

void wipe(std::string& secret) {
  volatile char* p = secret.data();
  for (size_t i = 0; i < secret.size(); ++i) p[i] = 0;
  secret.clear();
}

}  // namespace

bool probeHostKey(const std::string& host, int port, std::string& fingerprint, std::string& error) {
  const libssh2_socket_t socket = connectTo(host, port, error);
  if (socket == LIBSSH2_INVALID_SOCKET) return false;
  LIBSSH2_SESSION* session = libssh2_session_init();
  bool ok = session != nullptr;
  if (ok) {
    libssh2_session_set_blocking(session, 1);
    libssh2_session_set_timeout(session, 60000);
    ok = libssh2_session_handshake(session, socket) == 0;
    const char* digest = ok ? libssh2_hostkey_hash(session, LIBSSH2_HOSTKEY_HASH_SHA256) : nullptr;
    if (digest != nullptr) {
      fingerprint = sha256Fingerprint(reinterpret_cast<const unsigned char*>(digest));
    } else {
      error = "the SSH handshake failed: " + sessionError(session);
      ok = false;
    }
    libssh2_session_disconnect(session, "host key read");
    libssh2_session_free(session);
  }
  closeSocket(socket);
  return ok;
}

LIBSSH2_SFTP* Session::sftp(const AskFunction& ask, const LogFunction& log) {
  if (sftp_ != nullptr) return sftp_;
  if (refused_) return nullptr;
  if (everOpened_) {
    if (reopened_) {
      refused_ = true;
      return nullptr;
    }
    reopened_ = true;
    log("connection " + name_ + ": the session was dropped; opening it once more");
  }
  if (!open(ask, log)) {
    close();
    return nullptr;
  }
  everOpened_ = true;
  return sftp_;
}

void Session::checkDropped(const LogFunction& log) {
  if (session_ == nullptr) return;
  const int code = libssh2_session_last_errno(session_);
  if (!isSessionGone(code)) return;
  log("connection " + name_ + ": the session was lost (" + sessionError(session_) + ")");
  close();
}

void Session::close() {
  if (sftp_ != nullptr) libssh2_sftp_shutdown(sftp_);
  sftp_ = nullptr;
  if (session_ != nullptr) {
    libssh2_session_disconnect(session_, "closed by the client");
    libssh2_session_free(session_);
  }
  session_ = nullptr;
  closeSocket(socket_);
  socket_ = LIBSSH2_INVALID_SOCKET;
}

bool Session::open(const AskFunction& ask, const LogFunction& log) {
  const std::optional<Connection> found = findConnection(iniFile_, name_);
  if (!found) {
    log("connection " + name_ + " is not in " + iniFile_ + " (a section [" + name_ + "] with Host=)");
    refused_ = true;
    return false;
  }
  const Connection& c = *found;
  if (c.port < 0) {
    log("connection " + name_ + ": Port in " + iniFile_ + " is not a port number");
    refused_ = true;
    return false;
  }
  std::string error;
  socket_ = connectTo(c.host, c.port, error);
  const std::string where = c.host + ":" + std::to_string(c.port);
  if (socket_ == LIBSSH2_INVALID_SOCKET) {
    log("connection " + name_ + " (" + where + "): " + error);
    refused_ = true;
    return false;
  }
  session_ = libssh2_session_init();
  if (session_ == nullptr) return false;
  libssh2_session_set_blocking(session_, 1);
  libssh2_session_set_timeout(session_, 60000);
  if (libssh2_session_handshake(session_, socket_) != 0) {
    log("connection " + name_ + " (" + where + "): the SSH handshake failed: " + sessionError(session_));
    refused_ = true;
    return false;
  }
  if (!checkHostKey(c, log)) {
    refused_ = true;
    return false;
  }
  if (!authenticate(c, ask, log)) {
    refused_ = true;
    return false;
  }
  sftp_ = libssh2_sftp_init(session_);
  if (sftp_ == nullptr) {
    log("connection " + name_ + " (" + where + "): the server offers no SFTP: " + sessionError(session_));
    refused_ = true;
    return false;
  }
  return true;
}

bool Session::checkHostKey(const Connection& c, const LogFunction& log) {
  const char* digest = libssh2_hostkey_hash(session_, LIBSSH2_HOSTKEY_HASH_SHA256);
  if (digest == nullptr) {
    log("connection " + name_ + ": the server's host key cannot be read; nothing is done");
    return false;
  }
  const std::string seen = sha256Fingerprint(reinterpret_cast<const unsigned char*>(digest));
  if (c.hostKey == seen) return true;
  if (equalsIgnoringCase(c.hostKey, "accept-new")) {
    std::string text;
    if (!readWholeFile(iniFile_, text) || !replaceFile(iniFile_, withHostKey(text, c.name, seen))) {
      log("connection " + name_ + ": the host key " + seen + " cannot be recorded in " + iniFile_);
      return false;
    }
    log("connection " + name_ + ": the server's host key " + seen + " is recorded in " + iniFile_);
    return true;
  }
  if (c.hostKey.empty()) {
    log("connection " + name_ + ": the server's host key " + seen + " is not known: accept it by setting HostKey=" +
        seen + " (or HostKey=accept-new) in section [" + c.name + "] of " + iniFile_ +
        " after checking it with 'ssh-keygen -lf' on the server; nothing is done");
  } else {
    log("connection " + name_ + ": the server's host key " + seen + " differs from HostKey=" + c.hostKey +
        " in " + iniFile_ + ": the server may be impersonated; if its key really changed, set HostKey=" + seen +
        " there; nothing is done");
  }
  return false;
}

bool Session::authenticate(const Connection& c, const AskFunction& ask, const LogFunction& log) {
  const std::string who = "connection " + name_ + " (" + c.user + "@" + c.host + ")";
  if (!c.keyFile.empty()) {
    int r = libssh2_userauth_publickey_fromfile_ex(session_, c.user.c_str(), static_cast<unsigned>(c.user.size()),
                                                   nullptr, c.keyFile.c_str(), "");
    if (r == LIBSSH2_ERROR_FILE || r == LIBSSH2_ERROR_KEYFILE_AUTH_FAILED || r == LIBSSH2_ERROR_DECRYPT) {
      // Most likely an encrypted key: its passphrase is asked for.
      std::string passphrase;
      if (ask("SFTP " + name_ + ": passphrase of " + c.keyFile, passphrase)) {
        r = libssh2_userauth_publickey_fromfile_ex(session_, c.user.c_str(),
                                                   static_cast<unsigned>(c.user.size()), nullptr,
                                                   c.keyFile.c_str(), passphrase.c_str());
      }
      wipe(passphrase);
    }
    if (r == 0) return true;
    log(who + ": the key " + c.keyFile + " was not accepted (" + sessionError(session_) + ")");
  }
  const char* methods = libssh2_userauth_list(session_, c.user.c_str(), static_cast<unsigned>(c.user.size()));
  if (methods == nullptr && libssh2_userauth_authenticated(session_)) return true;
  if (methods == nullptr || std::strstr(methods, "password") == nullptr) {
    log(who + ": authentication failed; the server offers " + (methods ? methods : "nothing") +
        ", set KeyFile in section [" + c.name + "] of " + iniFile_);
    return false;
  }
  // After a refused password one more request; then the connection stays refused.
  while (passwordsRefused_ < 2) {
    std::string password;
    if (!ask("SFTP " + name_ + " (" + c.user + "@" + c.host + ")", password)) {
      log(who + ": authentication failed: no password was given");
      return false;
    }
    const int r = libssh2_userauth_password_ex(session_, c.user.c_str(), static_cast<unsigned>(c.user.size()),
                                               password.c_str(), static_cast<unsigned>(password.size()), nullptr);
    wipe(password);
    if (r == 0) return true;
    ++passwordsRefused_;
    log(who + ": the password was refused");
  }
  log(who + ": authentication failed; no more attempts until the next run");
  return false;
}

}  // namespace sftp
