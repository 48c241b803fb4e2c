#pragma once
// A control with the framework's interfaces and a test method table, made
// without registration.
#include <windows.h>

#include "framework/ole_control.h"

namespace framework_test {

// {6F1E3A52-9C0B-4D7E-8A31-2B5C7D9E0F11} and neighbours: identities of the
// bare control only.
constexpr CLSID kBareClsid = {0x6f1e3a52, 0x9c0b, 0x4d7e, {0x8a, 0x31, 0x2b, 0x5c, 0x7d, 0x9e, 0x0f, 0x11}};
constexpr IID kBareDispatchIid = {0x6f1e3a52, 0x9c0b, 0x4d7e, {0x8a, 0x31, 0x2b, 0x5c, 0x7d, 0x9e, 0x0f, 0x12}};
constexpr IID kBareEventIid = {0x6f1e3a52, 0x9c0b, 0x4d7e, {0x8a, 0x31, 0x2b, 0x5c, 0x7d, 0x9e, 0x0f, 0x13}};

inline framework::OleControl* MakeBareControl(const framework::DispatchTable& table) {
  static const CLSID kPages[] = {kBareClsid};
  framework::ControlDescription description = {};
  description.clsid = kBareClsid;
  description.dispatchIid = kBareDispatchIid;
  description.eventIid = kBareEventIid;
  description.propertyPages = kPages;
  description.propertyPageCount = 1;
  return new framework::OleControl(description, table);
}

}  // namespace framework_test
