#pragma once
#include <windows.h>

#include <string>

// The user's answer to the site lock's question.
enum class Consent { kAllowOnce, kAlwaysAllow, kDeny };

// Asks the user, in a modal dialog owned by `owner` (the page's window),
// whether `origin` may use the certificates. Deny is the default button;
// Escape, the close box and a dialog that cannot be shown all deny.
Consent AskConsent(HWND owner, const std::wstring& origin);
