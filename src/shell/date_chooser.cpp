#include "shell/date_chooser.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "jobs/job_editor.h"
#include "language/language_table.h"
#include "resources/program_resources.h"
#include "resources/string_ids.h"
#include "schedule/app_state.h"
#include "shell/dialog_class.h"
#include "shell/dialog_controls.h"

namespace crvl::shell {
namespace {

constexpr int kOk = 99;
constexpr int kCurrent = 2211;
constexpr int kCopy = 2214;
constexpr int kPaste = 2215;
constexpr int kGridColumns = 8;  // the week number, then Monday to Sunday
constexpr int kGridRows = 7;     // the weekday names, then six weeks

uint16_t daysInMonth(uint16_t year, uint16_t month) {
  static constexpr uint16_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[(month - 1) % 12];
}

// Month and weekday names in the language of the user interface where it is a built-in
// one, else in the user's.
const wchar_t* interfaceLocale() {
  const AppState* state = appState();
  if (state != nullptr && state->language.key() == u"DE") return L"de-DE";
  if (state != nullptr && state->language.key() == u"US") return L"en-US";
  return LOCALE_NAME_USER_DEFAULT;
}

std::u16string dateText(const CalendarTime& t, const wchar_t* format) {
  SYSTEMTIME s{};
  s.wYear = t.year;
  s.wMonth = t.month;
  s.wDay = t.day;
  wchar_t text[80] = {};
  ::GetDateFormatEx(interfaceLocale(), 0, &s, format, text, 80, nullptr);
  return reinterpret_cast<const char16_t*>(text);
}

bool putOnClipboard(HWND owner, const std::u16string& text) {
  if (!::OpenClipboard(owner)) return false;
  ::EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool placed = false;
  if (memory != nullptr) {
    std::memcpy(::GlobalLock(memory), text.c_str(), bytes);
    ::GlobalUnlock(memory);
    placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed) ::GlobalFree(memory);
  }
  ::CloseClipboard();
  return placed;
}

// The clipboard's text; the system offers 8-bit text as UTF-16 too.
std::u16string clipboardText(HWND owner) {
  std::u16string text;
  if (!::OpenClipboard(owner)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT); data != nullptr) {
    if (const auto* chars = static_cast<const char16_t*>(::GlobalLock(data)); chars != nullptr) {
      const size_t limit = ::GlobalSize(data) / sizeof(char16_t);
      size_t length = 0;
      while (length < limit && chars[length] != 0) ++length;
      text.assign(chars, length);
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

class DateChooser : public Dialog<DateChooser> {
 public:
  explicit DateChooser(const CalendarTime& start) : chosen_(start) {}

  INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_INITDIALOG:
        initialise();
        return TRUE;
      case WM_DRAWITEM:
        if (wParam == CRVL_ID_DATE_GRID) drawGrid(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      default:
        return FALSE;
    }
  }

  [[nodiscard]] const CalendarTime& chosen() const noexcept { return chosen_; }

 private:
  void initialise() {
    setTexts(handle(), {kTextdSTm, kTextfLTm, kCurrent, kCopy, kPaste, kOk, IDCANCEL});
    std::vector<std::u16string> months;
    for (uint16_t m = 1; m <= 12; ++m) months.push_back(dateText({2001, m, 0, 1}, L"MMMM"));
    fillCombo(handle(), CRVL_ID_DATE_MONTH, months, -1);
    ::SendDlgItemMessageW(handle(), CRVL_ID_DATE_YEAR_SPIN, UDM_SETRANGE32, 1601, 9999);
    for (int id : {CRVL_ID_DATE_HOUR, CRVL_ID_DATE_MINUTE, CRVL_ID_DATE_SECOND}) {
      ::SendDlgItemMessageW(handle(), id, EM_LIMITTEXT, 2, 0);
    }
    ::SendDlgItemMessageW(handle(), CRVL_ID_DATE_YEAR, EM_LIMITTEXT, 4, 0);
    if (chosen_.year < 1601 || chosen_.month < 1 || chosen_.month > 12 || chosen_.day < 1) {
      SYSTEMTIME now{};
      ::GetLocalTime(&now);
      chosen_ = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, chosen_.hour, chosen_.minute, chosen_.second, 0};
    }
    show();
  }

  // Puts the chosen date and time into the fields.
  void show() {
    showing_ = true;
    selectCombo(handle(), CRVL_ID_DATE_MONTH, chosen_.month - 1);
    setItemText(handle(), CRVL_ID_DATE_YEAR, number(chosen_.year, 4));
    setItemText(handle(), CRVL_ID_DATE_HOUR, number(chosen_.hour, 2));
    setItemText(handle(), CRVL_ID_DATE_MINUTE, number(chosen_.minute, 2));
    setItemText(handle(), CRVL_ID_DATE_SECOND, number(chosen_.second, 2));
    showing_ = false;
    ::InvalidateRect(item(CRVL_ID_DATE_GRID), nullptr, TRUE);
  }

  static std::u16string number(unsigned value, size_t digits) {
    std::u16string text;
    for (char c : std::to_string(value)) text.push_back(static_cast<char16_t>(c));
    while (text.size() < digits) text.insert(text.begin(), u'0');
    return text;
  }

  unsigned field(int id, unsigned limit) const {
    unsigned value = 0;
    for (char16_t c : itemText(handle(), id)) {
      if (c < u'0' || c > u'9') break;
      value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    return std::min(value, limit);
  }

  // Reads the time fields (clamped) into the chosen time.
  void readTime() {
    chosen_.hour = static_cast<uint16_t>(field(CRVL_ID_DATE_HOUR, 23));
    chosen_.minute = static_cast<uint16_t>(field(CRVL_ID_DATE_MINUTE, 59));
    chosen_.second = static_cast<uint16_t>(field(CRVL_ID_DATE_SECOND, 59));
  }

  void monthOrYearChanged() {
    const int month = comboSelection(handle(), CRVL_ID_DATE_MONTH);
    const unsigned year = field(CRVL_ID_DATE_YEAR, 9999);
    if (month < 0 || year < 1601) return;  // a year being typed
    chosen_.month = static_cast<uint16_t>(month + 1);
    chosen_.year = static_cast<uint16_t>(year);
    chosen_.day = std::min(chosen_.day, daysInMonth(chosen_.year, chosen_.month));
    ::InvalidateRect(item(CRVL_ID_DATE_GRID), nullptr, TRUE);
  }

  void clickGrid() {
    POINT at{};
    ::GetCursorPos(&at);
    const HWND grid = item(CRVL_ID_DATE_GRID);
    ::ScreenToClient(grid, &at);
    RECT r{};
    ::GetClientRect(grid, &r);
    const int column = at.x * kGridColumns / std::max<LONG>(r.right, 1);
    const int row = at.y * kGridRows / std::max<LONG>(r.bottom, 1);
    if (column < 1 || column >= kGridColumns || row < 1 || row >= kGridRows) return;
    // A copy: the grid is a temporary, and a reference into it would dangle.
    const GridDay day = dateGrid(chosen_.year, chosen_.month).days[static_cast<size_t>((row - 1) * 7 + column - 1)];
    if (!day.inMonth) return;
    chosen_.day = day.day;
    ::InvalidateRect(grid, nullptr, TRUE);
  }

  void drawGrid(const DRAWITEMSTRUCT* draw) {
    if (draw == nullptr) return;
    const HDC dc = draw->hDC;
    const RECT& area = draw->rcItem;
    ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_WINDOW));
    ::SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(handle(), WM_GETFONT, 0, 0)));
    const DateGrid grid = dateGrid(chosen_.year, chosen_.month);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    auto cell = [&](int column, int row) {
      return RECT{area.left + column * width / kGridColumns, area.top + row * height / kGridRows,
                  area.left + (column + 1) * width / kGridColumns, area.top + (row + 1) * height / kGridRows};
    };
    auto text = [&](const std::u16string& s, RECT r, COLORREF color) {
      ::SetTextColor(dc, color);
      ::DrawTextW(dc, wide(s), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    };
    // The header: "#" over the week numbers, the short weekday names from Monday on
    // (1 January 2001 was a Monday).
    const COLORREF normal = ::GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF dim = ::GetSysColor(COLOR_GRAYTEXT);
    RECT header = cell(0, 0);
    header.right = area.right;
    ::FillRect(dc, &header, ::GetSysColorBrush(COLOR_BTNFACE));
    text(u"#", cell(0, 0), normal);
    for (int d = 0; d < 7; ++d) text(dateText({2001, 1, 0, static_cast<uint16_t>(1 + d)}, L"ddd"), cell(d + 1, 0), normal);
    for (int week = 0; week < 6; ++week) {
      text(number(grid.weekNumbers[static_cast<size_t>(week)], 1), cell(0, week + 1), dim);
      for (int d = 0; d < 7; ++d) {
        const GridDay& day = grid.days[static_cast<size_t>(week * 7 + d)];
        RECT r = cell(d + 1, week + 1);
        COLORREF color = day.inMonth ? normal : dim;
        if (day.inMonth && day.day == chosen_.day) {
          ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_HIGHLIGHT));
          color = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
        }
        text(number(day.day, 1), r, color);
      }
    }
    ::SelectObject(dc, oldFont);
  }

  void command(int id, int code) {
    switch (id) {
      case CRVL_ID_DATE_MONTH:
        if (code == CBN_SELCHANGE) monthOrYearChanged();
        break;
      case CRVL_ID_DATE_YEAR:
        if (code == EN_CHANGE && !showing_) monthOrYearChanged();
        break;
      case CRVL_ID_DATE_GRID:
        if (code == STN_CLICKED || code == STN_DBLCLK) clickGrid();
        break;
      case kCurrent: {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        chosen_ = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay, now.wHour, now.wMinute, now.wSecond, 0};
        show();
        break;
      }
      case kCopy:
        readTime();
        (void)putOnClipboard(handle(), copyDateTime(chosen_));
        break;
      case kPaste: {
        CalendarTime pasted{};
        if (pasteDateTime(clipboardText(handle()), &pasted)) {
          chosen_ = pasted;
          show();
        } else {
          ::MessageBeep(MB_OK);
        }
        break;
      }
      case kOk:
      case IDOK:
        readTime();
        end(IDOK);
        break;
      case IDCANCEL:
        end(IDCANCEL);
        break;
      default:
        break;
    }
  }

  CalendarTime chosen_;
  bool showing_ = false;
};

}  // namespace

bool chooseDateTime(HWND owner, CalendarTime* date, CalendarTime* time) {
  if (date == nullptr || time == nullptr) return false;
  CalendarTime start = *date;
  start.hour = time->hour;
  start.minute = time->minute;
  start.second = time->second;
  DateChooser dialog(start);
  if (dialog.runModal(owner, CRVL_DLG_DATE_CHOOSER) != IDOK) return false;
  *date = dialog.chosen();
  *time = dialog.chosen();
  return true;
}

CalendarTime pickerDateTime(HWND dialog, int dateId, int timeId) {
  CalendarTime t{};
  SYSTEMTIME s{};
  if (dateId != 0 && DateTime_GetSystemtime(::GetDlgItem(dialog, dateId), &s) == GDT_VALID) {
    t.year = s.wYear;
    t.month = s.wMonth;
    t.day = s.wDay;
    t.dayOfWeek = s.wDayOfWeek;
  }
  if (timeId != 0 && DateTime_GetSystemtime(::GetDlgItem(dialog, timeId), &s) == GDT_VALID) {
    t.hour = s.wHour;
    t.minute = s.wMinute;
    t.second = s.wSecond;
  }
  return t;
}

void setPickerDateTime(HWND dialog, int dateId, int timeId, const CalendarTime& t) {
  SYSTEMTIME s{};
  s.wYear = t.year >= 1601 ? t.year : 2000;
  s.wMonth = t.month >= 1 && t.month <= 12 ? t.month : 1;
  s.wDay = t.day >= 1 && t.day <= daysInMonth(s.wYear, s.wMonth) ? t.day : 1;
  s.wHour = std::min<uint16_t>(t.hour, 23);
  s.wMinute = std::min<uint16_t>(t.minute, 59);
  s.wSecond = std::min<uint16_t>(t.second, 59);
  if (dateId != 0) DateTime_SetSystemtime(::GetDlgItem(dialog, dateId), GDT_VALID, &s);
  if (timeId != 0) DateTime_SetSystemtime(::GetDlgItem(dialog, timeId), GDT_VALID, &s);
}

}  // namespace crvl::shell
