// The module's reading of sftp.ini and the recording of an accepted host key.
#include <gtest/gtest.h>

#include "sftp_config.h"
#include "sftp_text.h"

namespace sftp {
namespace {

TEST(SftpConfig, SectionsAreReadWithTheProgramsIniRules) {
  const std::string text =
      "\xEF\xBB\xBF[nas]\r\nHost = 10.0.0.2\r\nport=2222\r\nUser=alice\r\nHost=ignored\r\n"
      "[pi]\nHost=pi.local\nKeyFile=/k\nHostKey=SHA256:abc\n"
      "[NAS]\r\nHost=second\r\n[nohost]\r\nUser=x\r\n[bad]\rHost=b\rPort=99999\r";
  const std::vector<Connection> c = parseConnections(text);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].name, "nas");
  EXPECT_EQ(c[0].host, "10.0.0.2");  // the first of two equal keys counts
  EXPECT_EQ(c[0].port, 2222);
  EXPECT_EQ(c[0].user, "alice");
  EXPECT_EQ(c[1].port, 22);  // the default
  EXPECT_EQ(c[1].keyFile, "/k");
  EXPECT_EQ(c[1].hostKey, "SHA256:abc");
  EXPECT_EQ(c[2].host, "b");
  EXPECT_EQ(c[2].port, -1);  // not a port: refused when used
}

TEST(SftpConfig, AnAcceptedHostKeyReplacesOrAddsOneLineOfItsSectionOnly) {
  struct Case {
    const char* what;
    std::string before, section, after;
  };
  const Case cases[] = {
      {"replaced", "[a]\r\nHost=h\r\nHostKey=accept-new\r\nUser=u\r\n[b]\r\nHostKey=x\r\n", "A",
       "[a]\r\nHost=h\r\nHostKey=SHA256:k\r\nUser=u\r\n[b]\r\nHostKey=x\r\n"},
      {"added after the last key", "[a]\nHost=h\n\n[b]\nHost=g\n", "a", "[a]\nHost=h\nHostKey=SHA256:k\n\n[b]\nHost=g\n"},
      {"added at the end without a final line end", "[a]\r\nHost=h", "a", "[a]\r\nHost=h\r\nHostKey=SHA256:k\r\n"},
      {"missing section", "[a]\nHost=h\n", "c", "[a]\nHost=h\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(withHostKey(c.before, c.section, "SHA256:k"), c.after) << c.what;
}

TEST(SftpText, FingerprintsAndTimesHaveTheirExactForms) {
  // OpenSSH prints base64 without padding.
  const unsigned char bytes[] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(base64Unpadded(bytes, 4), "YWJjZA");
  EXPECT_EQ(base64Unpadded(bytes, 3), "YWJj");
  unsigned char zeros[32] = {};
  EXPECT_EQ(sha256Fingerprint(zeros), "SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
  const crvl::wfx::FileTime t = fileTimeOf(1700000000);
  EXPECT_EQ(unixSecondsOf(t), 1700000000u);
  EXPECT_EQ(((static_cast<uint64_t>(t.high) << 32) | t.low), 133444736000000000ull);
  EXPECT_EQ(fromUtf8(toUtf8(u"Fotos \u00e4 \U0001F600")), u"Fotos \u00e4 \U0001F600");
}

}  // namespace
}  // namespace sftp
