// The control's windows on a real display: the About box, the property
// page and the certificate viewer open, show what they should, are
// photographed, close the way a user closes them, and the control goes on
// answering.
#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>

#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/gui/window_watch.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& wanted) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::wstring& t) { return t.find(wanted) != std::wstring::npos; });
}

// The ways a user closes a dialog.
enum class Closing { kOkButton, kEscape, kCloseBox };

void Close(HWND dialog, Closing how);

// Closes the dialog and waits until it is gone; a dialog that does not
// close is a failure, and is cancelled so the test can go on.
void CloseAndWait(HWND dialog, Closing how) {
  Close(dialog, how);
  for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(100);
  if (IsWindow(dialog)) {
    ADD_FAILURE() << "the dialog did not close";
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}

void Close(HWND dialog, Closing how) {
  switch (how) {
    case Closing::kOkButton:
      // What a click on the button sends to its dialog.
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
      break;
    case Closing::kEscape: {
      HWND focus = GetDlgItem(dialog, IDOK);
      PostMessageW(focus ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
      PostMessageW(focus ? focus : dialog, WM_KEYUP, VK_ESCAPE, 0);
      break;
    }
    case Closing::kCloseBox:
      PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
  }
}

class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
  }
  void ExpectStillAnswering() {
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kLibGetInfo, {I4(1)}, r.Get()));
    long code = -1;
    EXPECT_EQ(std::vector<std::wstring>{L"Tessarn"}, AnswerTexts(*r.Get(), &code));
    EXPECT_EQ(0, code) << "LibGetInfo(1)";
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

TEST_F(Gui, AboutBoxShowsItsTextsAndClosesEveryWay) {
  const struct {
    Closing how;
    const wchar_t* shot;
  } closings[] = {{Closing::kOkButton, L"about-box.bmp"}, {Closing::kEscape, nullptr}, {Closing::kCloseBox, nullptr}};
  for (const auto& c : closings) {
    SCOPED_TRACE(testing::Message() << "closing " << static_cast<int>(c.how));
    std::vector<std::wstring> texts;
    RECT rect = {};
    HWND ok = nullptr;
    {
      WindowWatch watch(L"About Tessarn Control", [&](HWND dialog) {
        texts = ChildTexts(dialog);
        ok = GetDlgItem(dialog, IDOK);
        GetClientRect(dialog, &rect);
        if (c.shot) {
          EXPECT_TRUE(SaveScreenshot(dialog, OutputFile(c.shot)));
        }
        CloseAndWait(dialog, c.how);
      });
      ScopedVariant r;
      EXPECT_EQ(S_OK, Call(control.Get(), DISPID_ABOUTBOX, {}, r.Get()));
      EXPECT_EQ(VT_EMPTY, V_VT(r.Get())) << "AboutBox has no answer";
      ASSERT_TRUE(watch.Found()) << "the About box never appeared";
    }
    EXPECT_TRUE(Contains(texts, L"Tessarn Control, Version 2.3.21113.0"));
    // The date of the public suffix list the module was built with.
    bool dated = false;
    for (const std::wstring& t : texts)
      dated = dated || (t.rfind(L"Public suffix list of 20", 0) == 0 && t.size() == 32 && t[26] == L'-');
    EXPECT_TRUE(dated) << "the public suffix list's date";
    EXPECT_TRUE(Contains(texts, L"OK"));
    EXPECT_TRUE(ok != nullptr) << "an OK button with identifier 1";
    EXPECT_GT(rect.right, rect.bottom) << "a wide, low box";
    EXPECT_EQ(nullptr, FindOwnWindow(L"About Tessarn Control")) << "closed";
    ExpectStillAnswering();
  }
}

TEST_F(Gui, PropertiesVerbOpensTheGeneralPage) {
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control.As(object));
  std::vector<std::wstring> texts;
  {
    WindowWatch watch(L"Tessarn Control", [&](HWND frame) {
      texts = ChildTexts(frame);
      EXPECT_TRUE(SaveScreenshot(frame, OutputFile(L"property-page.bmp")));
      CloseAndWait(frame, Closing::kOkButton);
    });
    EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, nullptr, nullptr));
    ASSERT_TRUE(watch.Found()) << "the property frame never appeared";
  }
  // The user's view of the site lock and the log, never a placeholder.
  EXPECT_TRUE(Contains(texts, L"Web sites you allowed:"));
  EXPECT_TRUE(Contains(texts, L"Set by your administrator (read only):"));
  EXPECT_FALSE(Contains(texts, L"TODO"));
  ExpectStillAnswering();
}

TEST_F(Gui, PropertyPageThroughItsOwnClassFactory) {
  const CLSID page = {0x4D857FA2, 0xE8BE, 0x42A5, {0x83, 0x6C, 0xD6, 0xC2, 0x28, 0x39, 0x1D, 0xAD}};
  ComPtr<IPropertyPage> pp;
  ASSERT_EQ(S_OK, CoCreateInstance(page, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, pp.ReceiveVoid()));
  PROPPAGEINFO info = {};
  ASSERT_EQ(S_OK, pp->GetPageInfo(&info));
  EXPECT_STREQ(L"General", info.pszTitle);
  EXPECT_GT(info.size.cx, info.size.cy);
  CoTaskMemFree(info.pszTitle);
  EXPECT_EQ(S_FALSE, pp->IsPageDirty());
  EXPECT_EQ(S_OK, pp->Apply());
}

TEST_F(Gui, CertDisplayShowsTheCertificateInThePlatformViewer) {
  std::string b64 = PkiText(L"full.b64");
  std::wstring text(b64.begin(), b64.end());
  std::vector<std::wstring> texts;
  std::wstring caption;
  {
    WindowWatch watch(L"Certificate", [&](HWND viewer) {
      caption = WindowText(viewer);
      texts = ChildTexts(viewer);
      EXPECT_TRUE(SaveScreenshot(viewer, OutputFile(L"certificate-viewer.bmp")));
      CloseAndWait(viewer, Closing::kEscape);
    });
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kCertDisplay, {Bstr(text.c_str())}, r.Get()));
    EXPECT_EQ(VT_I4, V_VT(r.Get()));
    EXPECT_EQ(0, V_I4(r.Get()));
    ASSERT_TRUE(watch.Found()) << "the viewer never appeared";
  }
  std::wstring all;
  for (const auto& t : texts) all += t + L"\n";
  EXPECT_NE(std::wstring::npos, all.find(L"Jan Nov")) << std::string(all.begin(), all.end());
  ExpectStillAnswering();
}

TEST_F(Gui, CertDisplayOfBadTextOpensNothing) {
  bool opened = false;
  {
    WindowWatch watch(L"Certificate", [&](HWND viewer) {
      opened = true;
      Close(viewer, Closing::kOkButton);
    }, 3000);
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kCertDisplay, {Bstr(L"not base64!")}, r.Get()));
    EXPECT_EQ(VT_I4, V_VT(r.Get()));
    EXPECT_EQ(39, V_I4(r.Get()));
  }
  EXPECT_FALSE(opened);
}

}  // namespace
