// Work items of the Windows Task Scheduler through its 1.0 interfaces (ITaskScheduler,
// ITask, ITaskTrigger, IPersistFile). Every interface pointer has an owner; strings the
// scheduler hands out are freed with CoTaskMemFree.
#include "platform/system_scheduler.h"

#include <windows.h>
#include <initguid.h>
#include <mstask.h>
#include <objidl.h>

#include <string>

#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/secure_wipe.h"
#include "platform/win32/handles.h"

namespace crvl::platform {
namespace {

constexpr DWORD kItemFlags = TASK_FLAG_DONT_START_IF_ON_BATTERIES | TASK_FLAG_KILL_IF_GOING_ON_BATTERIES |
                             TASK_FLAG_INTERACTIVE;
constexpr std::u16string_view kJobSuffix = u".job";

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// A string that the scheduler allocated, freed when it goes.
struct TaskString {
  LPWSTR text = nullptr;
  ~TaskString() {
    if (text != nullptr) ::CoTaskMemFree(text);
  }
  [[nodiscard]] std::u16string value() const {
    return text == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(text));
  }
};

ErrorCode resultOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return kSuccess;
  return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? static_cast<ErrorCode>(HRESULT_CODE(hr)) : kErrorInvalidFunction;
}

WorkTrigger workTriggerOf(const TASK_TRIGGER& t) {
  WorkTrigger w;
  w.type = static_cast<uint16_t>(t.TriggerType);
  w.beginYear = t.wBeginYear;
  w.beginMonth = t.wBeginMonth;
  w.beginDay = t.wBeginDay;
  w.startHour = t.wStartHour;
  w.startMinute = t.wStartMinute;
  if (t.TriggerType == TASK_TIME_TRIGGER_DAILY) w.daysInterval = t.Type.Daily.DaysInterval;
  if (t.TriggerType == TASK_TIME_TRIGGER_WEEKLY) {
    w.weeksInterval = t.Type.Weekly.WeeksInterval;
    w.weekdays = static_cast<uint16_t>(t.Type.Weekly.rgfDaysOfTheWeek & 0x7F);
  }
  return w;
}

TASK_TRIGGER taskTriggerOf(const WorkTrigger& w) {
  TASK_TRIGGER t{};
  t.cbTriggerSize = sizeof(TASK_TRIGGER);
  t.wBeginYear = w.beginYear;
  t.wBeginMonth = w.beginMonth;
  t.wBeginDay = w.beginDay;
  t.wStartHour = w.startHour;
  t.wStartMinute = w.startMinute;
  t.TriggerType = static_cast<TASK_TRIGGER_TYPE>(w.type);
  if (w.type == kTriggerDaily) t.Type.Daily.DaysInterval = w.daysInterval;
  if (w.type == kTriggerWeekly) {
    t.Type.Weekly.WeeksInterval = w.weeksInterval;
    t.Type.Weekly.rgfDaysOfTheWeek = static_cast<WORD>(w.weekdays & 0x7F);
  }
  return t;
}

// Names as Activate and Delete want them: without the ".job" that Enum adds under Wine.
std::u16string withoutJobSuffix(std::u16string name) {
  if (name.size() > kJobSuffix.size()) {
    std::u16string tail = name.substr(name.size() - kJobSuffix.size());
    for (char16_t& c : tail) c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if (tail == kJobSuffix) name.resize(name.size() - kJobSuffix.size());
  }
  return name;
}

}  // namespace

static_assert(sizeof(TASK_TRIGGER) == 48, "the trigger record is 48 bytes");

struct SystemScheduler::Impl {
  bool comInitialized = false;
  ComPtr<ITaskScheduler> scheduler;
  ~Impl() {
    scheduler.reset();
    if (comInitialized) ::CoUninitialize();
  }
};

SystemScheduler::SystemScheduler() : impl_(std::make_unique<Impl>()) {}
SystemScheduler::~SystemScheduler() = default;

ErrorCode SystemScheduler::open() {
  const HRESULT init = ::CoInitializeEx(/*pvReserved=*/nullptr, COINIT_APARTMENTTHREADED);
  // A thread already initialised otherwise keeps its mode; only our own call is undone.
  impl_->comInitialized = SUCCEEDED(init);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) return resultOf(init);
  ITaskScheduler* scheduler = nullptr;
  const HRESULT hr = ::CoCreateInstance(CLSID_CTaskScheduler, /*pUnkOuter=*/nullptr, CLSCTX_INPROC_SERVER,
                                        IID_ITaskScheduler, reinterpret_cast<void**>(&scheduler));
  if (FAILED(hr)) return resultOf(hr);
  impl_->scheduler.reset(scheduler);
  return kSuccess;
}

ErrorCode SystemScheduler::list(std::u16string_view, std::vector<WorkItem>& items) {
  items.clear();
  if (!impl_->scheduler) return kErrorInvalidFunction;
  IEnumWorkItems* enumeration = nullptr;
  HRESULT hr = impl_->scheduler.get()->Enum(&enumeration);
  if (FAILED(hr)) return resultOf(hr);
  const ComPtr<IEnumWorkItems> owner(enumeration);
  for (;;) {
    LPWSTR* names = nullptr;
    ULONG fetched = 0;
    hr = enumeration->Next(1, &names, &fetched);
    if (hr != S_OK || fetched == 0 || names == nullptr) {
      if (names != nullptr) ::CoTaskMemFree(names);
      break;
    }
    WorkItem item;
    item.name = withoutJobSuffix(std::u16string(reinterpret_cast<const char16_t*>(names[0])));
    ::CoTaskMemFree(names[0]);
    ::CoTaskMemFree(names);
    ITask* task = nullptr;
    if (FAILED(impl_->scheduler.get()->Activate(wide(item.name), IID_ITask, reinterpret_cast<IUnknown**>(&task)))) {
      items.push_back(std::move(item));  // listed, so it takes part in name collisions
      continue;
    }
    const ComPtr<ITask> taskOwner(task);
    TaskString application, parameters;
    (void)task->GetApplicationName(&application.text);
    (void)task->GetParameters(&parameters.text);
    item.application = application.value();
    item.parameters = parameters.value();
    WORD count = 0;
    if (SUCCEEDED(task->GetTriggerCount(&count))) {
      for (WORD i = 0; i < count; ++i) {
        ITaskTrigger* trigger = nullptr;
        if (FAILED(task->GetTrigger(i, &trigger))) continue;
        const ComPtr<ITaskTrigger> triggerOwner(trigger);
        TASK_TRIGGER t{};
        t.cbTriggerSize = sizeof t;
        if (SUCCEEDED(trigger->GetTrigger(&t))) item.triggers.push_back(workTriggerOf(t));
      }
    }
    items.push_back(std::move(item));
  }
  return kSuccess;
}

ErrorCode SystemScheduler::remove(std::u16string_view name) {
  if (!impl_->scheduler) return kErrorInvalidFunction;
  const std::u16string n = withoutJobSuffix(std::u16string(name));
  const HRESULT hr = impl_->scheduler.get()->Delete(wide(n));
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return kSuccess;
  return resultOf(hr);
}

ErrorCode SystemScheduler::create(const WorkItem& item, std::u16string_view account, std::u16string_view password,
                                  bool* accountRefused) {
  if (accountRefused != nullptr) *accountRefused = false;
  if (!impl_->scheduler) return kErrorInvalidFunction;
  if (item.triggers.empty()) return kErrorInvalidParameter;
  const std::u16string name = withoutJobSuffix(item.name);
  ITask* task = nullptr;
  HRESULT hr = impl_->scheduler.get()->NewWorkItem(wide(name), CLSID_CTask, IID_ITask,
                                                   reinterpret_cast<IUnknown**>(&task));
  if (FAILED(hr)) return resultOf(hr);
  const ComPtr<ITask> taskOwner(task);
  IPersistFile* file = nullptr;
  hr = task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(hr)) return resultOf(hr);
  const ComPtr<IPersistFile> fileOwner(file);
  hr = file->Save(/*pszFileName=*/nullptr, /*fRemember=*/FALSE);
  if (FAILED(hr)) return resultOf(hr);
  const std::u16string application(item.application), parameters(item.parameters);
  hr = task->SetApplicationName(wide(application));
  if (SUCCEEDED(hr)) hr = task->SetParameters(wide(parameters));
  if (SUCCEEDED(hr)) hr = task->SetFlags(kItemFlags);
  WORD index = 0;
  ITaskTrigger* trigger = nullptr;
  if (SUCCEEDED(hr)) hr = task->CreateTrigger(&index, &trigger);
  if (FAILED(hr)) return resultOf(hr);
  const ComPtr<ITaskTrigger> triggerOwner(trigger);
  TASK_TRIGGER t = taskTriggerOf(item.triggers.front());
  hr = trigger->SetTrigger(&t);
  if (FAILED(hr)) return resultOf(hr);
  const std::u16string user(account);
  std::u16string secret;
  secret.reserve(password.size());  // one buffer, wiped as soon as the call is done
  secret.assign(password);
  const HRESULT accepted = task->SetAccountInformation(wide(user), wide(secret));
  secureWipe(secret.data(), secret.capacity() * sizeof(char16_t));
  if (FAILED(accepted)) {
    // The item stays as saved, without an account.
    if (accountRefused != nullptr) *accountRefused = true;
    return kSuccess;
  }
  return resultOf(file->Save(/*pszFileName=*/nullptr, /*fRemember=*/FALSE));
}

ErrorCode SystemScheduler::finish(std::u16string* message) {
  if (message != nullptr) message->clear();
  return kSuccess;
}

bool SystemScheduler::needsAccount() noexcept { return true; }

std::u16string SystemScheduler::itemName(std::u16string_view product, std::u16string_view tag, int number) {
  std::u16string name = itemNamePrefix(product, tag);
  for (char c : std::to_string(number)) name.push_back(static_cast<char16_t>(c));
  return name;
}

std::u16string SystemScheduler::itemNamePrefix(std::u16string_view product, std::u16string_view tag) {
  std::u16string prefix = std::u16string(product) + u" ";
  if (!tag.empty()) prefix += std::u16string(tag) + u" ";
  return prefix;
}

bool SystemScheduler::appendCommandWord(std::u16string_view text, std::u16string& line, bool) {
  if (text.find_first_of(u" \"") == std::u16string_view::npos) {
    line += text;
    return true;
  }
  line += u'"';
  for (char16_t c : text) {
    if (c == u'"') line += u'\\';
    line += c;
  }
  line += u'"';
  return true;
}

std::u16string SystemScheduler::accountName() {
  wchar_t buffer[257] = {};
  DWORD size = 257;
  if (!::GetUserNameW(buffer, &size)) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

std::u16string SystemScheduler::itemFolder() const {
  std::u16string folder = windowsFolder();
  appendPathComponent(folder, u"Tasks");
  return folder;
}

}  // namespace crvl::platform
