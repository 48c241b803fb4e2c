#pragma once
// The DISPIDs of the control's methods (the dispatch interface _DTessarn),
// by name, for the tests that call them through IDispatch::Invoke. They
// are the control's published interface: control/method_table.cpp and
// resources/Tessarn.idl give the same numbers, and the dispatch tests check
// every name against the type library.
#include <windows.h>
#include <olectl.h>

namespace dispid {

constexpr DISPID kAboutBox = DISPID_ABOUTBOX;
constexpr DISPID kRawSignCheck = 1;
constexpr DISPID kRawSign = 2;
constexpr DISPID kSetLogging = 3;
constexpr DISPID kGetLogging = 4;
constexpr DISPID kCertEnum = 5;
constexpr DISPID kCertLookup = 6;
constexpr DISPID kCertIsValid = 7;
constexpr DISPID kCertGetInfo = 8;
constexpr DISPID kCertHasPrivateKey = 9;
constexpr DISPID kCertChainIsValid = 10;
constexpr DISPID kCertDisplay = 11;
constexpr DISPID kSignPKCS7 = 12;
// 13 is not assigned.
constexpr DISPID kSignRaw = 14;
constexpr DISPID kBinaryToString = 15;
constexpr DISPID kStringToBinary = 16;
constexpr DISPID kLocalTimeToUTCTime = 17;
constexpr DISPID kLibGetInfo = 18;

}  // namespace dispid
