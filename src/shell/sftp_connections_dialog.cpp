// The "SFTP Connections" dialog of the plug-in page and its entry dialog. The rows and
// the rules live in SftpConnectionsPage; these only show them. Reading a server's host
// key connects, so it runs on a thread of its own: the thread owns its copy of the
// request and a shared reply slot, and the entry dialog looks at the slot on a timer,
// so the thread never touches a window and the dialog may close while it runs.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "jobs/profile_store.h"
#include "language/language_table.h"
#include "plugins/sftp_connections_page.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"
#include "shell/file_dialogs.h"
#include "shell/plugin_page_view.h"
#include "shell/save_error.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr UINT_PTR kReadTimer = 1;
constexpr UINT kReadPollMs = 100;

std::u16string portText(uint32_t port) {
  const std::string digits = std::to_string(port);
  return std::u16string(digits.begin(), digits.end());
}

uint16_t problemText(SftpEntryProblem problem) noexcept {
  switch (problem) {
    case SftpEntryProblem::kName:
      return kTextSBNm;
    case SftpEntryProblem::kAddress:
      return kTextSBAd;
    case SftpEntryProblem::kKeyFile:
      return kTextSKyM;
    case SftpEntryProblem::kHostKey:
      return kTextSBHk;
    case SftpEntryProblem::kDuplicate:
      return kTextSDup;
    case SftpEntryProblem::kNone:
      break;
  }
  return 0;
}

// The reply slot of one host key reading, shared by the reading thread and the dialog.
struct HostKeyReply {
  std::atomic<bool> done{false};
  HostKeyReading reading;
};

class ConnectionEntryWindow : public Dialog<ConnectionEntryWindow> {
 public:
  ConnectionEntryWindow(const SftpConnectionsPage& page, SftpConnection entry, bool adding, std::u16string module)
      : page_(page), entry_(std::move(entry)), adding_(adding), module_(std::move(module)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_TIMER:
        if (wParam == kReadTimer) readingDone();
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam));
        return TRUE;
      case WM_DESTROY:
        ::KillTimer(handle(), kReadTimer);
        return FALSE;
      default:
        return FALSE;
    }
  }

  [[nodiscard]] const SftpConnection& entry() const noexcept { return entry_; }

 private:
  void initialise() {
    setTexts(handle(), {kTextSEtl, kTextSNam, kTextSHst, kTextSPrt, kTextSUsr, kTextSKyF, kTextSKyN, kTextSHKy,
                        kTextSRdK, kOk, IDCANCEL});
    ::SendDlgItemMessageW(handle(), CRVL_ID_SFTP_NAME, EM_LIMITTEXT, 63, 0);
    ::SendDlgItemMessageW(handle(), CRVL_ID_SFTP_PORT, EM_LIMITTEXT, 5, 0);
    for (int id : {CRVL_ID_SFTP_HOST, CRVL_ID_SFTP_USER, CRVL_ID_SFTP_KEY_FILE, CRVL_ID_SFTP_HOST_KEY}) {
      ::SendDlgItemMessageW(handle(), id, EM_LIMITTEXT, 1023, 0);
    }
    setItemText(handle(), CRVL_ID_SFTP_NAME, entry_.name);
    setItemText(handle(), CRVL_ID_SFTP_HOST, entry_.host);
    setItemText(handle(), CRVL_ID_SFTP_PORT, portText(entry_.port));
    setItemText(handle(), CRVL_ID_SFTP_USER, entry_.user);
    setItemText(handle(), CRVL_ID_SFTP_KEY_FILE, entry_.keyFile);
    setItemText(handle(), CRVL_ID_SFTP_HOST_KEY, entry_.hostKey);
    // A connection keeps its name: renaming would drop the keys of its section that
    // this dialog does not show. Remove and add it instead.
    ::SendDlgItemMessageW(handle(), CRVL_ID_SFTP_NAME, EM_SETREADONLY, adding_ ? FALSE : TRUE, 0);
  }

  void readFields() {
    entry_.name = itemText(handle(), CRVL_ID_SFTP_NAME);
    entry_.host = itemText(handle(), CRVL_ID_SFTP_HOST);
    entry_.port = parsePort(itemText(handle(), CRVL_ID_SFTP_PORT));
    entry_.user = itemText(handle(), CRVL_ID_SFTP_USER);
    entry_.keyFile = itemText(handle(), CRVL_ID_SFTP_KEY_FILE);
    entry_.hostKey = itemText(handle(), CRVL_ID_SFTP_HOST_KEY);
  }

  void browse() {
    static constexpr wchar_t kFilter[] = L"*.*\0*.*\0";
    const std::u16string chosen = chooseFile(handle(), itemText(handle(), CRVL_ID_SFTP_KEY_FILE), kFilter, nullptr, false);
    if (!chosen.empty()) setItemText(handle(), CRVL_ID_SFTP_KEY_FILE, chosen);
  }

  void startReading() {
    if (reply_) return;  // one reading at a time
    readFields();
    if (module_.empty()) {
      setItemText(handle(), CRVL_ID_SFTP_STATUS, uiText(kTextSNoM));
      return;
    }
    if (entry_.host.empty() || entry_.port == 0) {
      setItemText(handle(), CRVL_ID_SFTP_STATUS, uiText(kTextSBAd));
      return;
    }
    auto reply = std::make_shared<HostKeyReply>();
    try {
      std::thread([reply, module = module_, host = entry_.host, port = entry_.port] {
        reply->reading = readServerHostKey(module, host, port);
        reply->done.store(true, std::memory_order_release);
      }).detach();
    } catch (...) {  // no thread could be started
      setItemText(handle(), CRVL_ID_SFTP_STATUS, uiText(kTextSRdF));
      return;
    }
    reply_ = std::move(reply);
    enableItem(handle(), kTextSRdK, false);
    setItemText(handle(), CRVL_ID_SFTP_STATUS, uiText(kTextSRdg));
    ::SetTimer(handle(), kReadTimer, kReadPollMs, nullptr);
  }

  void readingDone() {
    if (!reply_ || !reply_->done.load(std::memory_order_acquire)) return;
    ::KillTimer(handle(), kReadTimer);
    const HostKeyReading& reading = reply_->reading;
    if (reading.read) {
      setItemText(handle(), CRVL_ID_SFTP_HOST_KEY, reading.text);
      setItemText(handle(), CRVL_ID_SFTP_STATUS, uiText(kTextSCmp));
    } else {
      setItemText(handle(), CRVL_ID_SFTP_STATUS, uiText(kTextSRdF) + u" " + reading.text);
    }
    reply_.reset();
    enableItem(handle(), kTextSRdK, true);
  }

  void accept() {
    readFields();
    if (const SftpEntryProblem problem = page_.check(entry_, adding_); problem != SftpEntryProblem::kNone) {
      showErrorBox(handle(), uiText(problemText(problem)));
      return;
    }
    end(IDOK);
  }

  void command(int id) {
    switch (id) {
      case CRVL_ID_SFTP_KEY_BROWSE:
        browse();
        break;
      case kTextSRdK:
        startReading();
        break;
      case kOk:
      case IDOK:
        accept();
        break;
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  const SftpConnectionsPage& page_;
  SftpConnection entry_;
  bool adding_;
  std::u16string module_;
  std::shared_ptr<HostKeyReply> reply_;  // the reading under way, if any
};

class ConnectionsWindow : public Dialog<ConnectionsWindow> {
 public:
  ConnectionsWindow(std::u16string file, std::u16string module) : file_(std::move(file)), module_(std::move(module)) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_NOTIFY:
        notify(reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

 private:
  [[nodiscard]] HWND list() const noexcept { return item(CRVL_ID_SFTP_LIST); }

  void initialise() {
    setTexts(handle(), {kTextSTls, kTextSAdd, kTextSEdt, kTextSRmv, kOk, IDCANCEL});
    ListView_SetExtendedListViewStyle(list(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    addColumns(list(), {kTextlCNm, kTextlCAd, kTextlCLg, kTextlCHk});
    ProfileStore store;
    store.openStore(file_, kStoreOwnFile);
    // A file that cannot be read shows no rows, and OK then writes nothing it did not
    // show: the page only writes what changed.
    page_.load(store);
    fill();
  }

  void fill() {
    const HWND rows = list();
    ListView_DeleteAllItems(rows);
    for (size_t i = 0; i < page_.rows().size(); ++i) {
      const SftpConnection& c = page_.rows()[i];
      const int row = insertRow(rows, static_cast<int>(i), c.name);
      setCell(rows, row, 1, c.user + u"@" + c.host + u":" + portText(c.port));
      setCell(rows, row, 2, c.keyFile.empty() ? uiText(kTextSPwd) : c.keyFile);
      setCell(rows, row, 3, c.hostKey);
    }
    fitColumns(rows);
    selectRow(rows, page_.selected());
    updateButtons();
  }

  void updateButtons() {
    enableItem(handle(), kTextSEdt, page_.selected() >= 0);
    enableItem(handle(), kTextSRmv, page_.selected() >= 0);
  }

  void notify(const NMHDR* header) {
    if (header == nullptr || header->idFrom != CRVL_ID_SFTP_LIST) return;
    if (header->code == LVN_ITEMCHANGED) {
      page_.select(selectedRow(list()));
      updateButtons();
    } else if (header->code == NM_DBLCLK && reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem >= 0) {
      page_.select(reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem);
      edit(false);
    }
  }

  void edit(bool adding) {
    SftpConnection entry;
    if (!adding) {
      if (page_.selected() < 0) return;
      entry = page_.rows()[static_cast<size_t>(page_.selected())];
    }
    ConnectionEntryWindow dialog(page_, std::move(entry), adding, module_);
    if (dialog.runModal(handle(), CRVL_DLG_SFTP_CONNECTION) != IDOK) return;
    if (adding) {
      page_.add(dialog.entry());
    } else {
      page_.edit(dialog.entry());
    }
    fill();
  }

  void command(int id) {
    switch (id) {
      case kTextSAdd:
        edit(true);
        break;
      case kTextSEdt:
        edit(false);
        break;
      case kTextSRmv:
        page_.remove();
        fill();
        break;
      case kOk:
      case IDOK:
        if (page_.changed()) {
          // A file that cannot be written is told, and the dialog stays open with the edits.
          if (const ErrorCode r = page_.save(file_); r != 0) {
            showSaveError(handle(), file_, r);
            return;
          }
        }
        end(IDOK);
        break;
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  std::u16string file_;
  std::u16string module_;
  SftpConnectionsPage page_;
};

}  // namespace

void editSftpConnections(HWND owner, const std::vector<PluginEntry>& plugins) {
  ConnectionsWindow dialog(sftpConnectionsFile(), findSftpModule(plugins));
  (void)dialog.runModal(owner, CRVL_DLG_SFTP_CONNECTIONS);
}

}  // namespace crvl::shell
