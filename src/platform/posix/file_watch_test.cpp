// The settings watch of the daemon and systemd's readiness datagram, on real files and
// a real socket.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/file_watch.h"
#include "platform/test_folder.h"
#include "platform/text.h"

namespace crvl::platform {
namespace {

TEST(FileChangeWatch, SeesItsFileReplacedOrWrittenButNotItsNeighbours) {
  testing::TestFolder folder;
  folder.write("s.ini", "[CRVL]\r\n");
  FileChangeWatch watch(folder.path("s.ini"));
  ASSERT_TRUE(watch.watching());
  EXPECT_FALSE(watch.wait(0));
  folder.write("other.ini", "x");  // another file of the folder
  EXPECT_FALSE(watch.wait(100));
  // Replaced by rename, as the program writes its files: one change.
  folder.write("s.ini.tmp", "[CRVL]\r\nDelay=5\r\n");
  ASSERT_EQ(std::rename(toSystemBytes(folder.path("s.ini.tmp")).c_str(), toSystemBytes(folder.path("s.ini")).c_str()), 0);
  EXPECT_TRUE(watch.wait(5000));
  EXPECT_FALSE(watch.wait(100)) << "one replacement is told once";
  folder.write("s.ini", "[CRVL]\r\nDelay=6\r\n");  // written in place by another program
  EXPECT_TRUE(watch.wait(5000));
  // A wake ends a long wait at once, and is no change.
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    watch.wake();
  });
  EXPECT_FALSE(watch.wait(600'000));
  waker.join();
  // A folder that does not exist: nothing to watch, waits still end.
  FileChangeWatch none(folder.path("missing/s.ini"));
  EXPECT_FALSE(none.watching());
  EXPECT_FALSE(none.wait(10));
}

TEST(ServiceNotification, ReachesThePathOrAbstractSocketOfNotifySocket) {
  testing::TestFolder folder;
  const std::string path = toSystemBytes(folder.path("notify"));
  for (const std::string& name : {path, std::string("@crvl-test-") + std::to_string(::getpid())}) {
    SCOPED_TRACE(name);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.data(), name.size());
    if (name[0] == '@') address.sun_path[0] = '\0';
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size())),
              0);
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    {
      const testing::ScopedVariable variable(u"NOTIFY_SOCKET", fromSystemBytes(name));
      notifyServiceManager("READY=1");
    }
    char buffer[64] = {};
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "READY=1");
    ::close(fd);
  }
  // Without the variable nothing is sent and nothing fails.
  const testing::ScopedVariable unset(u"NOTIFY_SOCKET", std::nullopt);
  notifyServiceManager("READY=1");
}

}  // namespace
}  // namespace crvl::platform
