// SetLogging and GetLogging: the temporary-directory log switched on and
// off, its file named, and its entries written as the level allows, down to
// the lines of the SetLogging call that changes the level.
function items(a) { return new VBArray(a).toArray(); }
function pad(n, w) { var s = "" + n; while (s.length < w) s = "0" + s; return s; }
function count(text, needle) {
  var n = 0, at = 0;
  while ((at = text.indexOf(needle, at)) >= 0) { n++; at += needle.length; }
  return n;
}

var now = new Date();
var today = pad(now.getFullYear(), 4) + pad(now.getMonth() + 1, 2) + pad(now.getDate(), 2);

var g = items(ctl.GetLogging());
host.Equal(g.length, 3, "GetLogging answers three elements");
host.Equal(g[0], 0, "GetLogging code");
host.Equal(g[1], "NONE", "level after load");
var file = g[2];
host.Check(/^[A-Za-z]:\\.*[^\\]\\tessarn\.\d{8}\.log$/.test(file), "file name form: " + file);
host.Check(file.indexOf("\\\\") < 0, "exactly one backslash before tessarn: " + file);
host.Equal(file.substr(file.length - 21), "\\tessarn." + today + ".log", "today's file");
host.Check(!host.FileExists(file), "nothing written at NONE");

// NONE -> TRACE: the lines before the level changes are not written, those
// after it are.
var s = items(ctl.SetLogging("trace"));
host.Equal(s.length, 2, "SetLogging answers two elements");
host.Equal(s[0], 0, "SetLogging code");
host.Equal(s[1], file, "SetLogging names the same file");
var log = host.ReadFile(file);
host.Equal(log.substr(0, 2), "\r\n", "the file starts with an empty line");
host.Check(log.indexOf("CTessarnCtrl::SetLogging [trace]") < 0, "entry line before the change is not written");
host.Check(log.indexOf("current level [NONE]") < 0, "step 3 before the change is not written");
var header = /\r\n\d\d:\d\d:\d\d,\d\d\d \(Tid:[0-9a-f]+,T:T\):CTessarnCtrl::SetLogging - get file name \[/;
host.Check(header.test(log), "header and file name line: " + log);
host.Check(log.indexOf("get file name [" + file + "]") >= 0, "file name line names the file");
host.Check(log.indexOf("):CTessarnCtrl::SetLogging - finished, ret=0") >= 0, "finished line");
host.Check(log.indexOf("):CTessarnCtrl::SetLogging - storing result") >= 0, "storing line");
host.Check(log.indexOf("):CTessarnCtrl::SetLogging - result stored (retCode=0)\r\r\n") >= 0,
           "closing line ends with its own CR LF, written as CR CR LF");

g = items(ctl.GetLogging());
host.Equal(g[1], "TRACE", "level held in upper case");
log = host.ReadFile(file);
host.Check(/\r\n\d\d:\d\d:\d\d,\d\d\d \(Tid:[0-9a-f]+,T:I\):Tessarn 2\.3\.21113\.0\r\n\d\d:\d\d:\d\d,\d\d\d \(Tid:[0-9a-f]+,T:I\):CTessarnCtrl::GetLogging \[\]/.test(log),
           "banner then entry line, both at INFO");
host.Check(log.indexOf("T:T):CTessarnCtrl::GetLogging - get log level [TRACE]") >= 0, "level line");
host.Check(log.indexOf("T:T):CTessarnCtrl::GetLogging - result stored (retCode=0)\r\r\n") >= 0, "GetLogging closing line");

// Wrong names: code 35 with its text, the level unchanged, the failure at ERROR.
var wrong = ["verbose", "", "TRACEX", " trace"];
for (var i = 0; i < wrong.length; i++) {
  s = items(ctl.SetLogging(wrong[i]));
  host.Equal(s.length, 2, "wrong level [" + wrong[i] + "] answers two elements");
  host.Equal(s[0], 35, "wrong level [" + wrong[i] + "] code");
  host.Equal(s[1], "Wrong log level selected.", "wrong level [" + wrong[i] + "] text");
  host.Equal(items(ctl.GetLogging())[1], "TRACE", "level unchanged by [" + wrong[i] + "]");
}
log = host.ReadFile(file);
host.Check(log.indexOf("T:E):CTessarnCtrl::SetLogging - error setting log level, rv=35!") >= 0, "error line at ERROR");
host.Check(log.indexOf("T:T):CTessarnCtrl::SetLogging - errtext=Wrong log level selected..") >= 0, "errtext line");

// WARNING lets only ERROR and WARNING through.
items(ctl.SetLogging("Warning"));
var before = host.ReadFile(file).length;
items(ctl.SetLogging("bogus"));
var added = host.ReadFile(file).substr(before);
host.Check(added.indexOf("T:E):CTessarnCtrl::SetLogging - error setting log level") >= 0, "ERROR written at WARNING");
host.Check(added.indexOf("T:I)") < 0 && added.indexOf("T:T)") < 0, "INFO and TRACE dropped at WARNING: " + added);

// TRACE -> NONE: the lines up to the change are written, none after.
items(ctl.SetLogging("TRACE"));
before = host.ReadFile(file).length;
s = items(ctl.SetLogging("none"));
host.Equal(s[0], 0, "SetLogging(none) code");
added = host.ReadFile(file).substr(before);
host.Check(added.indexOf("T:I):CTessarnCtrl::SetLogging [none]") >= 0, "entry line written before the change");
host.Check(added.indexOf("T:I):CTessarnCtrl::SetLogging - current level [TRACE]") >= 0, "current level line");
host.Check(added.indexOf("T:T):CTessarnCtrl::SetLogging - set log level") >= 0, "set log level line");
host.Check(added.indexOf("get file name") < 0, "nothing after the change");

// FATAL is accepted and writes nothing, like NONE.
s = items(ctl.SetLogging("FATAL"));
host.Equal(s[0], 0, "FATAL accepted");
before = host.ReadFile(file).length;
items(ctl.SetLogging("bogus"));
items(ctl.LibGetInfo(0));
host.Equal(host.ReadFile(file).length, before, "nothing written at FATAL");
host.Equal(items(ctl.GetLogging())[1], "FATAL", "FATAL held");

// Entries are never torn: every entry is a header and its text.
log = host.ReadFile(file);
host.Equal(log.substr(0, 2), "\r\n", "the file starts with a line break");
var entries = log.substr(2).split(/\r\n(?=\d\d:\d\d:\d\d,\d\d\d \(Tid:)/);
host.Check(entries.length > 20, "many entries: " + entries.length);
for (i = 0; i < entries.length; i++)
  host.Check(/^\d\d:\d\d:\d\d,\d\d\d \(Tid:[0-9a-f]+,T:[EWIDT]\):/.test(entries[i]), "entry " + i + " has a header");
