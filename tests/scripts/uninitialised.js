// A control made with new ActiveXObject is never initialised by cscript:
// every call is refused with E_UNEXPECTED. (Wine's cscript ends with 0 on an
// uncaught script error and for a script it cannot find or parse, so every
// path ends in an explicit Quit, and the entry requires the last line this
// script prints when it passes.)
var code = 1;
try {
  var ctl = new ActiveXObject("TESSARN.TessarnCtrl.1");
  var number = 0;
  try {
    ctl.LibGetInfo(0);
  } catch (e) {
    number = e.number >>> 0;
  }
  if (number == 0x8000FFFF) code = 0;
} catch (e) {
  code = 2;
}
// Joined here so that no echo of the source can show the token.
if (code == 0) WScript.Echo(["uninitialised", "PASSED"].join(": "));
WScript.Quit(code);
