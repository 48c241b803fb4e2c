#include "control/method_frame.h"

#include "control/version.h"

void LogVersionBanner() {
  theLog.Info(L"%s %d.%d.%d.%d", tessarn::kProductName, tessarn::kVersionMajor, tessarn::kVersionMinor,
              tessarn::kVersionBuild, tessarn::kVersionRevision);
}

MethodFrame::MethodFrame() { LogVersionBanner(); }
