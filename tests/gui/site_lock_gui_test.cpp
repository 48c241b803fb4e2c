// The site lock's question and the property page on a real display: the
// question names the origin, is owned by the page's window, defaults to
// Deny, and each of its buttons does what it says; the property page lists
// the sites the user allowed and removes one.
#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <functional>

#include "tests/com/test_support.h"
#include "tests/gui/window_watch.h"
#include "tests/host/page_site.h"
#include "tests/support/dispids.h"
#include "tests/support/settings.h"

using namespace testing_support;

namespace {

// Dialog and control identifiers of the module (resources/resource_ids.h).
constexpr int kAllowOnce = 304;
constexpr int kAlwaysAllow = 305;
constexpr int kDeny = 306;
constexpr int kOriginText = 302;
constexpr int kSiteText = 307;
constexpr int kUserList = 211;
constexpr int kRemove = 212;
constexpr int kAdminList = 214;

// The caption's start, the same in English and Czech.
const wchar_t kPromptCaption[] = L"Tessarn Control:";
const wchar_t kUserKey[] = L"Software\\Zorv\\Tessarn";

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& wanted) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::wstring& t) { return t.find(wanted) != std::wstring::npos; });
}

// What a click on a dialog's button sends.
void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A child window at any depth with the given control identifier (the page
// is a child of the property frame).
struct ChildSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM p) {
  auto* search = reinterpret_cast<ChildSearch*>(p);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

HWND FindDescendant(HWND parent, int id) {
  ChildSearch search = {id, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The window with the keyboard focus in the dialog's thread.
HWND FocusOf(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ? info.hwndFocus : nullptr;
}

// What a key pressed on the dialog sends: the key goes to the window with
// the focus, and the dialog's own message loop hands it to the dialog
// manager (IsDialogMessage), which turns Enter into the default button's
// command, or into IDOK where no button is the default.
void Press(HWND dialog, UINT key) {
  HWND target = FocusOf(dialog);
  if (!target) target = dialog;
  LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, WM_KEYDOWN, key, 1 | scan);
  PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(1 | scan | 0xC0000000u));
}

void WaitGone(HWND window) {
  for (int i = 0; i < 100 && IsWindow(window); ++i) Sleep(100);
  EXPECT_FALSE(IsWindow(window)) << "the dialog did not close";
}

// The user's list as stored.
std::vector<std::wstring> UserList() {
  std::vector<std::wstring> texts;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return texts;
  wchar_t data[4096] = {};
  DWORD bytes = sizeof(data) - 2 * sizeof(wchar_t), type = 0;
  if (RegQueryValueExW(key, L"AllowedOrigins", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
      ERROR_SUCCESS) {
    for (const wchar_t* p = data; *p; p += wcslen(p) + 1) texts.push_back(p);
  }
  RegCloseKey(key);
  return texts;
}

void SetUserList(const wchar_t* multi, size_t chars) {
  ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, kUserKey, L"AllowedOrigins", REG_MULTI_SZ, multi,
                                 static_cast<DWORD>(chars * sizeof(wchar_t))));
}

// Visible top-level windows of this process whose caption holds `caption`.
struct CaptionCount {
  const wchar_t* caption;
  int count;
};

BOOL CALLBACK CountCaption(HWND hwnd, LPARAM p) {
  auto* c = reinterpret_cast<CaptionCount*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && WindowText(hwnd).find(c->caption) != std::wstring::npos)
    ++c->count;
  return TRUE;
}

int CountOwnWindows(const wchar_t* caption) {
  CaptionCount c = {caption, 0};
  EnumWindows(CountCaption, reinterpret_cast<LPARAM>(&c));
  return c.count;
}

// A call made by a timer, which the question's own message loop runs: how a
// page's script calls again while the user is being asked.
IDispatch* g_timerControl = nullptr;
long g_timerCode = -1;

VOID CALLBACK CallFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  ScopedVariant r;
  if (Call(g_timerControl, dispid::kCertEnum, {I4(0)}, r.Get()) == S_OK) g_timerCode = AnswerCode(*r.Get());
}

class SiteLockGui : public ::testing::Test {
 protected:
  // A control in a page at `url`, owned by a window of its own.
  ComPtr<IDispatch> ControlAt(const wchar_t* url) {
    ComPtr<IDispatch> control = CreateControl();
    EXPECT_TRUE(control);
    PageOptions page;
    page.document = true;
    page.documentUrl = url;
    page.window = pageWindow;
    EXPECT_TRUE(SiteControl(control.Get(), page));
    return control;
  }
  // CertEnum(0): the code of its answer.
  long EnumCode(IDispatch* control) {
    ScopedVariant r;
    EXPECT_EQ(S_OK, Call(control, dispid::kCertEnum, {I4(0)}, r.Get()));
    return AnswerCode(*r.Get());
  }
  // Calls CertEnum while the question is answered with `button`; what the
  // question showed goes to `texts`.
  long EnumAnswering(IDispatch* control, int button, std::vector<std::wstring>* texts = nullptr,
                     const wchar_t* shot = nullptr) {
    return EnumAnsweringWith(control, [button](HWND dialog) { Click(dialog, button); }, texts, shot);
  }
  // The same, the question answered by `answer`.
  long EnumAnsweringWith(IDispatch* control, const std::function<void(HWND)>& answer,
                         std::vector<std::wstring>* texts = nullptr, const wchar_t* shot = nullptr) {
    HWND seen = nullptr;
    long code = -1;
    {
      WindowWatch watch(kPromptCaption, [&](HWND dialog) {
        seen = dialog;
        if (texts) *texts = ChildTexts(dialog);
        owner = GetWindow(dialog, GW_OWNER);
        defaultId = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0));
        focused = GetDlgCtrlID(FocusOf(dialog));
        if (shot) {
          EXPECT_TRUE(SaveScreenshot(dialog, OutputFile(shot)));
        }
        answer(dialog);
        WaitGone(dialog);
      });
      code = EnumCode(control);
      EXPECT_TRUE(watch.Found()) << "the question never appeared";
    }
    return code;
  }
  // Calls CertEnum and expects no question at all.
  long EnumUnasked(IDispatch* control) {
    bool asked = false;
    long code = -1;
    {
      WindowWatch watch(kPromptCaption, [&](HWND dialog) {
        asked = true;
        Click(dialog, kDeny);
      }, 3000);
      code = EnumCode(control);
    }
    EXPECT_FALSE(asked) << "asked again";
    return code;
  }

  void SetUp() override {
    // Hidden: the watch reads the captions of visible windows, and this
    // thread does not answer while it waits for the watch.
    pageWindow = CreateWindowExW(0, L"STATIC", L"The page", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  }
  void TearDown() override { DestroyWindow(pageWindow); }

  ComScope com;
  HWND pageWindow = nullptr;
  HWND owner = nullptr;
  int defaultId = 0;
  int focused = 0;
};

TEST_F(SiteLockGui, DenyRefusesAndIsNotAskedAgain) {
  ComPtr<IDispatch> control = ControlAt(L"https://ask.example.cz/sign.html?session=1");
  std::vector<std::wstring> texts;
  EXPECT_EQ(34, EnumAnswering(control.Get(), kDeny, &texts, L"consent-prompt.bmp"));
  EXPECT_TRUE(Contains(texts, L"https://ask.example.cz")) << "names the origin";
  EXPECT_FALSE(Contains(texts, L"session=1")) << "the origin, not the page's address";
  EXPECT_TRUE(Contains(texts, L"Allow &once"));
  EXPECT_TRUE(Contains(texts, L"&Always allow"));
  EXPECT_TRUE(Contains(texts, L"&Deny"));
  EXPECT_EQ(pageWindow, owner) << "owned by the page's window";
  EXPECT_EQ(kDeny, defaultId) << "Deny is the default button";
  EXPECT_EQ(kDeny, focused) << "the focus starts on Deny";
  EXPECT_EQ(34, EnumUnasked(control.Get())) << "the denial holds for the control";
  EXPECT_TRUE(UserList().empty());
}

TEST_F(SiteLockGui, EscapeDenies) {
  ComPtr<IDispatch> control = ControlAt(L"https://escape.example.cz/");
  EXPECT_EQ(34, EnumAnswering(control.Get(), IDCANCEL));
}

// Enter or Space alone never allow: each pressed on the question as it comes
// up; and the dialog's OK command, which Enter sends where no button is the
// default, refuses too.
TEST_F(SiteLockGui, EnterAndSpaceDeny) {
  // Each case on a site of its own: a denied page is not asked again.
  const struct {
    const char* what;
    const wchar_t* page;
    std::function<void(HWND)> answer;
  } cases[] = {
      {"Enter pressed on the question", L"https://enter.example.cz/", [](HWND dialog) { Press(dialog, VK_RETURN); }},
      {"Space pressed on the question", L"https://space.example.cz/", [](HWND dialog) { Press(dialog, VK_SPACE); }},
      {"the dialog's OK command (IDOK, Enter without a default button)", L"https://ok.example.cz/",
       [](HWND dialog) { Click(dialog, IDOK); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IDispatch> control = ControlAt(c.page);
    EXPECT_EQ(34, EnumAnsweringWith(control.Get(), c.answer)) << c.what << " allowed the page: it must deny";
    EXPECT_EQ(34, EnumUnasked(control.Get())) << c.what << ": the answer was not a denial";
  }
  EXPECT_TRUE(UserList().empty());
}

TEST_F(SiteLockGui, AllowOnceHoldsForThisControlOnly) {
  ComPtr<IDispatch> control = ControlAt(L"https://once.example.cz/");
  EXPECT_EQ(0, EnumAnswering(control.Get(), kAllowOnce));
  EXPECT_EQ(0, EnumUnasked(control.Get())) << "allowed for the control's life";
  EXPECT_TRUE(UserList().empty()) << "nothing stored";
  ComPtr<IDispatch> another = ControlAt(L"https://once.example.cz/");
  EXPECT_EQ(34, EnumAnswering(another.Get(), kDeny)) << "another control asks again";
}

// The page rows of the rules for the user's answers: "Deny" holds for the
// page (its address, whatever the fragment) in every control made on it
// later, and an origin denied three times is not asked about again.
TEST_F(SiteLockGui, DenyHoldsForThePageInNewControls) {
  ComPtr<IDispatch> first = ControlAt(L"https://pester.example.cz/sign?case=7");
  EXPECT_EQ(34, EnumAnswering(first.Get(), kDeny));
  first.Reset();
  ComPtr<IDispatch> second = ControlAt(L"https://pester.example.cz/sign?case=7");
  EXPECT_EQ(34, EnumUnasked(second.Get())) << "a new control on the denied page";
  ComPtr<IDispatch> reloaded = ControlAt(L"https://pester.example.cz/sign?case=7#again");
  EXPECT_EQ(34, EnumUnasked(reloaded.Get())) << "the same page loaded again";
  ComPtr<IDispatch> otherPage = ControlAt(L"https://pester.example.cz/other");
  EXPECT_EQ(34, EnumAnswering(otherPage.Get(), kDeny)) << "another page of the origin is asked";
  ComPtr<IDispatch> third = ControlAt(L"https://pester.example.cz/third");
  EXPECT_EQ(34, EnumAnswering(third.Get(), kDeny)) << "the third question";
  // Three denials: the origin's other pages are refused without a question.
  ComPtr<IDispatch> fourth = ControlAt(L"https://pester.example.cz/fourth");
  EXPECT_EQ(34, EnumUnasked(fourth.Get())) << "an origin denied three times is quiet";
  ComPtr<IDispatch> otherOrigin = ControlAt(L"https://calm.example.cz/sign?case=7");
  EXPECT_EQ(0, EnumAnswering(otherOrigin.Get(), kAllowOnce)) << "another origin is still asked";
}

// A page that makes a second control and calls it while the first one's
// question is open gets no second question piled behind the first.
TEST_F(SiteLockGui, OneQuestionPerOriginAtATime) {
  ComPtr<IDispatch> first = ControlAt(L"https://stack.example.cz/a");
  ComPtr<IDispatch> second = ControlAt(L"https://stack.example.cz/b");
  g_timerControl = second.Get();
  g_timerCode = -1;
  int open = 0;
  long code = -1;
  {
    WindowWatch watch(kPromptCaption, [&](HWND) {
      Sleep(2000);  // the timer's call comes meanwhile
      open = CountOwnWindows(kPromptCaption);
      for (int i = 0; i < 5; ++i) {
        HWND dialog = FindOwnWindow(kPromptCaption);
        if (!dialog) break;
        Click(dialog, kDeny);
        for (int j = 0; j < 50 && IsWindow(dialog) && IsWindowVisible(dialog); ++j) Sleep(100);
      }
    });
    SetTimer(nullptr, 0, 300, CallFromTimer);
    code = EnumCode(first.Get());
    EXPECT_TRUE(watch.Found());
  }
  EXPECT_EQ(1, open) << "questions on the screen at once";
  EXPECT_EQ(34, code);
  EXPECT_EQ(34, g_timerCode) << "the second control's call, refused without a question";
  g_timerControl = nullptr;
}

TEST_F(SiteLockGui, AlwaysAllowStoresTheOriginForTheUser) {
  ComPtr<IDispatch> control = ControlAt(L"https://always.example.cz:8443/podpis");
  EXPECT_EQ(0, EnumAnswering(control.Get(), kAlwaysAllow));
  EXPECT_EQ(std::vector<std::wstring>{L"https://always.example.cz:8443"}, UserList());
  ComPtr<IDispatch> another = ControlAt(L"https://always.example.cz:8443/");
  EXPECT_EQ(0, EnumUnasked(another.Get())) << "a new control is not asked";
  SetUserList(L"\0", 2);
}

// Dark pixels ("ink") that the screen shows inside a rectangle (screen
// coordinates): text drawn there.
int InkIn(const RECT& r) {
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return 0;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  int ink = 0;
  const BYTE* p = static_cast<const BYTE*>(bits);
  for (int i = 0; i < width * height; ++i, p += 4)
    if (p[0] + p[1] + p[2] < 3 * 96) ++ink;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ink;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// What a control's text needs, in its own font, wrapped at its width.
RECT NeededFor(HWND control) {
  RECT r = {};
  GetClientRect(control, &r);
  std::wstring text = WindowText(control);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return r;
}

// A host that begins with the name of a trusted site and ends, 230
// characters later, with the attacker's own: the question names the
// attacker's site on a line of its own, in view, and shows the whole
// origin; Enter denies.
TEST_F(SiteLockGui, LongHostNamesTheRealSite) {
  std::wstring host = L"sign.example.cz." + std::wstring(63, L'a') + L"." + std::wstring(63, L'b') + L"." +
                      std::wstring(60, L'c') + L".attacker.example";
  std::wstring origin = L"https://" + host;
  ComPtr<IDispatch> control = ControlAt((origin + L"/podpis").c_str());
  std::wstring siteText, originText;
  RECT dialogRect = {}, siteRect = {}, originRect = {}, siteNeeds = {}, originNeeds = {};
  int siteInk = 0, lastLineInk = 0, lines = 0;
  long code = -1;
  {
    WindowWatch watch(kPromptCaption, [&](HWND dialog) {
      Sleep(500);  // drawn
      HWND site = GetDlgItem(dialog, kSiteText), full = GetDlgItem(dialog, kOriginText);
      siteText = WindowText(site);
      originText = WindowText(full);
      GetWindowRect(dialog, &dialogRect);
      GetWindowRect(site, &siteRect);
      GetWindowRect(full, &originRect);
      siteNeeds = NeededFor(site);
      originNeeds = NeededFor(full);
      siteInk = InkIn(siteRect);
      lines = static_cast<int>(std::count(originText.begin(), originText.end(), L'\n')) + 1;
      RECT last = originRect;
      last.top = originRect.bottom - (originRect.bottom - originRect.top) / lines;
      lastLineInk = InkIn(last);
      EXPECT_TRUE(SaveScreenshot(dialog, OutputFile(L"consent-prompt-long-host.bmp")));
      defaultId = LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0));
      // Enter, where the focus is when the question opens.
      HWND focus = FocusOf(dialog);
      PostMessageW(focus ? focus : dialog, WM_KEYDOWN, VK_RETURN, 1);
      PostMessageW(focus ? focus : dialog, WM_KEYUP, VK_RETURN, 0xC0000001);
      WaitGone(dialog);
    });
    code = EnumCode(control.Get());
    ASSERT_TRUE(watch.Found()) << "the question never appeared";
  }
  EXPECT_EQ(34, code) << "Enter denies";
  EXPECT_TRUE(UserList().empty());
  EXPECT_EQ(kDeny, defaultId);
  EXPECT_EQ(L"attacker.example", siteText) << "the site on a line of its own";
  std::wstring joined;
  for (wchar_t c : originText)
    if (c != L'\r' && c != L'\n') joined += c;
  EXPECT_EQ(origin, joined) << "the whole origin";
  EXPECT_GT(lines, 1) << "the origin is wrapped";
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  EXPECT_TRUE(Inside(dialogRect, screen)) << "the dialog is on the screen";
  EXPECT_TRUE(Inside(siteRect, dialogRect)) << "the site's line is inside the dialog";
  EXPECT_TRUE(Inside(originRect, dialogRect)) << "the origin is inside the dialog";
  EXPECT_LE(siteNeeds.right - siteNeeds.left, siteRect.right - siteRect.left) << "the site fits its line";
  EXPECT_LE(siteNeeds.bottom - siteNeeds.top, siteRect.bottom - siteRect.top) << "on one line";
  EXPECT_LE(originNeeds.bottom - originNeeds.top, originRect.bottom - originRect.top) << "no line of the origin cut";
  EXPECT_GT(siteInk, 20) << "the screen shows the site's line";
  EXPECT_GT(lastLineInk, 20) << "the screen shows the origin's last line";
}

// Run by its own test with a Czech user interface (LC_ALL).
TEST_F(SiteLockGui, CzechQuestion) {
  if (PRIMARYLANGID(GetThreadUILanguage()) != LANG_CZECH) GTEST_SKIP() << "needs a Czech user interface";
  ComPtr<IDispatch> control = ControlAt(L"https://cesky.example.cz/");
  std::vector<std::wstring> texts;
  EXPECT_EQ(34, EnumAnswering(control.Get(), kDeny, &texts, L"consent-prompt-cs.bmp"));
  EXPECT_TRUE(Contains(texts, L"Povolit &jednou"));
  EXPECT_TRUE(Contains(texts, L"&Zak\u00e1zat"));
  EXPECT_TRUE(Contains(texts, L"https://cesky.example.cz"));
}

TEST_F(SiteLockGui, PropertyPageListsTheUsersSitesAndRemovesOne) {
  const wchar_t two[] = L"https://first.example.cz\0https://second.example.cz\0";
  SetUserList(two, sizeof(two) / sizeof(wchar_t));
  ComPtr<IDispatch> control = CreateControl();
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control.As(object));
  LRESULT before = -1, after = -1, admin = -1;
  std::vector<std::wstring> texts;
  {
    WindowWatch watch(L"Tessarn Control", [&](HWND frame) {
      HWND list = nullptr;
      for (int i = 0; i < 50 && !list; ++i) {
        list = FindDescendant(frame, kUserList);
        if (!list) Sleep(100);
      }
      if (!list) {
        ADD_FAILURE() << "no list of the user's sites";
        PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return;
      }
      HWND page = GetParent(list);
      texts = ChildTexts(page);
      admin = SendMessageW(GetDlgItem(page, kAdminList), LB_GETCOUNT, 0, 0);
      before = SendMessageW(list, LB_GETCOUNT, 0, 0);
      SendMessageW(list, LB_SETCURSEL, 0, 0);
      EXPECT_TRUE(SaveScreenshot(frame, OutputFile(L"property-page-sites.bmp")));
      SendMessageW(page, WM_COMMAND, MAKEWPARAM(kRemove, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(page, kRemove)));
      after = SendMessageW(list, LB_GETCOUNT, 0, 0);
      Sleep(700);  // the page's thread repaints the list
      EXPECT_TRUE(SaveScreenshot(frame, OutputFile(L"property-page-removed.bmp")));
      PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      WaitGone(frame);
    });
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr));
    ASSERT_TRUE(watch.Found()) << "the property frame never appeared";
  }
  EXPECT_EQ(2, before);
  EXPECT_EQ(1, after);
  EXPECT_EQ(1, admin) << "the administrator's lists, here only \"(none)\"";
  EXPECT_EQ(std::vector<std::wstring>{L"https://second.example.cz"}, UserList());
  EXPECT_TRUE(Contains(texts, L"Web sites you allowed:"));
  EXPECT_TRUE(Contains(texts, L"Log level: NONE"));
  EXPECT_TRUE(Contains(texts, L"Log files: (none); ")) << "no directory log, then the temporary one";
  EXPECT_TRUE(Contains(texts, L"\\tessarn.")) << "the temporary log's file";
  EXPECT_FALSE(Contains(texts, L"TODO"));
  SetUserList(L"\0", 2);
}

}  // namespace
