#pragma once
#include "diag/log.h"
#include "framework/module.h"

// Opens every method but AboutBox: holds the module for the call and writes
// the version banner. The method writes its entry line next.
class MethodFrame {
 public:
  MethodFrame();
  MethodFrame(const MethodFrame&) = delete;
  MethodFrame& operator=(const MethodFrame&) = delete;

 private:
  framework::ModuleStateScope m_state;
};

// Writes the version banner line at INFO.
void LogVersionBanner();
