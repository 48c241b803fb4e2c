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
  const struct {
    const char* what;
    std::function<void(HWND)> answer;
  } cases[] = {
      {"Enter pressed on the question", [](HWND dialog) { Press(dialog, VK_RETURN); }},
      {"Space pressed on the question", [](HWND dialog) { Press(dialog, VK_SPACE); }},
      {"the dialog's OK command (IDOK, Enter without a default button)", [](HWND dialog) { Click(dialog, IDOK); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IDispatch> control = ControlAt(L"https://enter.example.cz/");
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

TEST_F(SiteLockGui, AlwaysAllowStoresTheOriginForTheUser) {
  ComPtr<IDispatch> control = ControlAt(L"https://always.example.cz:8443/podpis");
  EXPECT_EQ(0, EnumAnswering(control.Get(), kAlwaysAllow));
  EXPECT_EQ(std::vector<std::wstring>{L"https://always.example.cz:8443"}, UserList());
  ComPtr<IDispatch> another = ControlAt(L"https://always.example.cz:8443/");
  EXPECT_EQ(0, EnumUnasked(another.Get())) << "a new control is not asked";
  SetUserList(L"\0", 2);
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
