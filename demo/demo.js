// The Tessarn demo: what a web page does with the control.
function items(a) { return new VBArray(a).toArray(); }
var info = items(ctl.LibGetInfo(0));
host.Echo("LibGetInfo(0):", "[" + info.join(", ") + "]");
var log = items(ctl.SetLogging("INFO"));
host.Echo("SetLogging(INFO):", "[" + log.join(", ") + "]");
var bad = items(ctl.SetLogging("verbose"));
host.Echo("SetLogging(verbose):", "[" + bad.join(", ") + "]");
items(ctl.SetLogging("NONE"));
host.Check(info[0] == 0 && info[1] == "Tessarn", "the control answers");
