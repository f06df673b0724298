// The SFTP connections as the console and the tray program edit them: addresses,
// names, reading sftp.ini, and the connections dialog's OK over a file that another
// program changed while the dialog was open.
#include "plugins/sftp_connections.h"

#include <gtest/gtest.h>

#include "jobs/profile_store.h"
#include "platform/test_folder.h"
#include "plugins/sftp_connections_page.h"

namespace crvl {
namespace {

using testing::TempFolder;

std::string shown(const std::u16string& t) { return std::string(t.begin(), t.end()); }

}  // namespace

void PrintTo(const SftpConnection& c, std::ostream* out) {
  *out << shown(c.name) << "|" << shown(c.user) << "@" << shown(c.host) << ":" << c.port << "|" << shown(c.keyFile)
       << "|" << shown(c.hostKey);
}

namespace {

TEST(SftpConnections, AddressesAndNames) {
  struct Case {
    std::u16string_view text;
    bool ok;
    std::u16string_view user, host;
    uint32_t port;
  };
  const Case cases[] = {
      {u"alice@nas", true, u"alice", u"nas", 22},
      {u"alice@nas:2222", true, u"alice", u"nas", 2222},
      {u"a@b@host:1", true, u"a@b", u"host", 1},  // the last '@' ends the user
      {u"bob@[::1]:65535", true, u"bob", u"::1", 65535},
      {u"bob@[::1]", true, u"bob", u"::1", 22},
      {u"bob@[::1]x", false, {}, {}, 0},
      {u"bob@nas:", false, {}, {}, 0},
      {u"bob@nas:0", false, {}, {}, 0},
      {u"bob@nas:65536", false, {}, {}, 0},
      {u"bob@nas:99999999999999999999", false, {}, {}, 0},
      {u"bob@nas:2x", false, {}, {}, 0},
      {u"@nas", false, {}, {}, 0},
      {u"bob@", false, {}, {}, 0},
      {u"nas", false, {}, {}, 0},
      {u"b b@nas", false, {}, {}, 0},
      {u"bob@na\ts", false, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SftpConnection out;
    ASSERT_EQ(parseSftpAddress(c.text, out), c.ok) << std::string(c.text.begin(), c.text.end());
    if (!c.ok) continue;
    EXPECT_EQ(out.user, c.user);
    EXPECT_EQ(out.host, c.host);
    EXPECT_EQ(out.port, c.port);
  }
  for (std::u16string_view good : {u"nas", u"my box", u"x"}) EXPECT_TRUE(validConnectionName(good));
  for (std::u16string_view bad : {u"", u" nas", u"nas ", u"a/b", u"a\\b", u"[a]", u"a;b", u"a=b", u"a\nb"}) {
    EXPECT_FALSE(validConnectionName(bad)) << std::string(bad.begin(), bad.end());
  }
  EXPECT_FALSE(validConnectionName(std::u16string(64, u'n')));
}

TEST(SftpConnections, TheFileIsReadAsTheModuleReadsIt) {
  TempFolder tmp;
  tmp.write("sftp.ini",
            "[nas]\r\nHost=10.0.0.2\r\nUser=alice\r\nKeyFile=/k\r\nHostKey=accept-new\r\n"
            "[NAS]\nHost=other\n"             // the first section of a name counts
            "[nohost]\nUser=x\n"              // no host: no connection
            "[pi]\nhost=pi.local\nport=2200\nuser=pi\n");
  ProfileStore store;
  store.openStore(tmp.path("sftp.ini"), kStoreOwnFile);
  const std::vector<SftpConnection> got = readSftpConnections(store);
  const std::vector<SftpConnection> want = {{u"nas", u"10.0.0.2", 22, u"alice", u"/k", u"accept-new"},
                                            {u"pi", u"pi.local", 2200, u"pi", u"", u""}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(sftpSectionOf(store, u"PI"), "pi");
}

TEST(SftpConnections, EntryChecks) {
  TempFolder tmp;
  tmp.write("key", "k");
  tmp.write("sftp.ini", "[nas]\r\nHost=h\r\nUser=u\r\nHostKey=accept-new\r\n");
  ProfileStore store;
  store.openStore(tmp.path("sftp.ini"), kStoreOwnFile);
  SftpConnectionsPage page;
  page.load(store);
  const std::u16string fingerprint = u"SHA256:" + std::u16string(42, u'A') + u"+";
  const SftpConnection good{u"pi", u"pi.local", 22, u"pi", tmp.path("key"), fingerprint};
  struct Case {
    SftpConnection entry;
    bool adding;
    SftpEntryProblem problem;
  };
  const auto with = [&](auto change) {
    SftpConnection c = good;
    change(c);
    return c;
  };
  const Case cases[] = {
      {good, true, SftpEntryProblem::kNone},
      {with([](auto& c) { c.name = u"NAS"; }), true, SftpEntryProblem::kDuplicate},
      {with([](auto& c) { c.name = u"NAS"; }), false, SftpEntryProblem::kNone},  // editing keeps its name
      {with([](auto& c) { c.name = u"a;b"; }), true, SftpEntryProblem::kName},
      {with([](auto& c) { c.host.clear(); }), true, SftpEntryProblem::kAddress},
      {with([](auto& c) { c.user = u"p i"; }), true, SftpEntryProblem::kAddress},
      {with([](auto& c) { c.port = 0; }), true, SftpEntryProblem::kAddress},
      {with([&](auto& c) { c.keyFile = tmp.path("missing"); }), true, SftpEntryProblem::kKeyFile},
      {with([&](auto& c) { c.keyFile = tmp.path(); }), true, SftpEntryProblem::kKeyFile},  // a folder
      {with([](auto& c) { c.keyFile.clear(); }), true, SftpEntryProblem::kNone},
      {with([](auto& c) { c.hostKey.clear(); }), true, SftpEntryProblem::kHostKey},
      {with([](auto& c) { c.hostKey = u"accept-new"; }), true, SftpEntryProblem::kNone},
      {with([](auto& c) { c.hostKey = u"SHA256:short"; }), true, SftpEntryProblem::kHostKey},
      {with([](auto& c) { c.hostKey = u"MD5:" + std::u16string(43, u'a'); }), true, SftpEntryProblem::kHostKey},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(page.check(cases[i].entry, cases[i].adding), cases[i].problem) << "case " << i;
  }
}

TEST(SftpConnections, OkKeepsWhatAnotherProgramChangedMeanwhile) {
  TempFolder tmp;
  const std::u16string file = tmp.path("sftp.ini");
  tmp.write("sftp.ini",
            "[keep]\r\nHost=k\r\nUser=u\r\n"
            "[edit]\r\nHost=e\r\nUser=u\r\nkeyfile=/old\r\nCompression=yes\r\nport=1\r\nPort=2\r\n"
            "[gone]\r\nHost=g\r\nUser=u\r\n");
  SftpConnectionsPage page;
  {
    ProfileStore store;
    store.openStore(file, kStoreOwnFile);
    page.load(store);
  }
  page.select(1);
  SftpConnection edited = page.rows()[1];
  edited.keyFile.clear();
  edited.port = 2222;
  page.edit(edited);
  page.select(2);
  page.remove();
  page.add({u"new", u"n", 22, u"u", u"", u"accept-new"});
  page.add({u"brief", u"b", 22, u"u", u"", u"accept-new"});
  page.remove();  // a row added and removed again on the page
  EXPECT_TRUE(page.changed());

  // Meanwhile another program adds a connection, one of the name the page dropped, and
  // changes one that the page did not touch.
  {
    ProfileStore other;
    other.openStore(file, kStoreOwnFile);
    other.putString("keep", "User", "changed");
    other.putString("brief", "Host", "theirs");
    other.putString("outside", "Host", "o");
    ASSERT_EQ(other.flushStore(), 0);
  }
  ASSERT_EQ(page.save(file), 0);
  ProfileStore store;
  store.openStore(file, kStoreOwnFile);
  const std::vector<SftpConnection> want = {
      {u"keep", u"k", 22, u"changed", u"", u""},
      {u"edit", u"e", 2222, u"u", u"", u""},
      {u"brief", u"theirs", 22, u"", u"", u""},
      {u"outside", u"o", 22, u"", u"", u""},
      {u"new", u"n", 22, u"u", u"", u"accept-new"},
  };
  EXPECT_EQ(readSftpConnections(store), want);
  std::string compression;
  store.getString("edit", "Compression", nullptr, compression);
  EXPECT_EQ(compression, "yes") << "a key the dialog does not show stays";
  const std::string text = tmp.read("sftp.ini");
  EXPECT_EQ(text.find("port=1"), std::string::npos) << "the key the module would read first stayed: " << text;
  EXPECT_EQ(text.find("keyfile"), std::string::npos) << text;
}

}  // namespace
}  // namespace crvl
