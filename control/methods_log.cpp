// SetLogging and GetLogging: switch the temporary-directory log and name its
// file. Neither touches the registry or the directory log.
#include "certutil/result_array.h"
#include "control/method_frame.h"
#include "control/result_codes.h"
#include "control/tessarn_ctrl.h"

using namespace norelCertInfoUtl;

void CTessarnCtrl::SetLogging(const wchar_t* loglevel, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::SetLogging [%s]", loglevel);
  CMyTCString current = theTempLog.LevelName();
  theLog.Info(L"CTessarnCtrl::SetLogging - requested level [%s]", loglevel);
  theLog.Info(L"CTessarnCtrl::SetLogging - current level [%s]", current.Get());
  theLog.Trace(L"CTessarnCtrl::SetLogging - set log level");
  ResultCode code = rc::kOk;
  CMyTCString fileName;
  if (theTempLog.SetLevel(loglevel) != 0) {
    code = rc::kBadLogLevel;
    theLog.Error(L"CTessarnCtrl::SetLogging - error setting log level, rv=%d!", code);
  } else {
    theTempLog.GetFileName(fileName);
    theLog.Trace(L"CTessarnCtrl::SetLogging - get file name [%s]", fileName.Get());
  }
  theLog.Trace(L"CTessarnCtrl::SetLogging - finished, ret=%d", code);
  theLog.Trace(L"CTessarnCtrl::SetLogging - storing result");
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  if (code == rc::kOk) {
    nrlAppendText(result, fileName.Get());
  } else {
    wchar_t text[kResultTextChars];
    LoadResultText(code, text);
    theLog.Trace(L"CTessarnCtrl::SetLogging - errtext=%s.", text);
    nrlAppendText(result, text);
  }
  theLog.Trace(L"CTessarnCtrl::SetLogging - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

void CTessarnCtrl::GetLogging(VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::GetLogging []");
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, rc::kOk);
  CMyTCString level = theTempLog.LevelName();
  theLog.Trace(L"CTessarnCtrl::GetLogging - get log level [%s]", level.Get());
  nrlAppendText(result, level.Get());
  CMyTCString fileName;
  theTempLog.GetFileName(fileName);
  theLog.Trace(L"CTessarnCtrl::GetLogging - get file name [%s]", fileName.Get());
  nrlAppendText(result, fileName.Get());
  ResultCode code = rc::kOk;
  theLog.Trace(L"CTessarnCtrl::GetLogging - finished, ret=%d", code);
  nrlCOleSafeArraySetRes(result, code);
  theLog.Trace(L"CTessarnCtrl::GetLogging - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}
