#pragma once
#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

// Argument values a hostile or careless page can pass, each made fresh for
// one call (the caller clears it).
namespace hostile {

struct Value {
  const char* name;
  std::function<VARIANT()> make;
  bool huge = false;  // too big to write into a TRACE log on every call
};

std::vector<Value> TextValues(IDispatch* self);
std::vector<Value> NumberValues(IDispatch* self);
std::vector<Value> ByteValues(IDispatch* self);

// The printf directives a page may send, which must reach the log as data.
extern const wchar_t kDirectives[];

}  // namespace hostile
