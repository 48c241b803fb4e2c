// LibGetInfo answers the name and version as a page sees them.
function items(a) { return new VBArray(a).toArray(); }

var cases = [
  [0, [0, "Tessarn", "2.3.21113.0"]],
  [1, [0, "Tessarn"]],
  [2, [0, "2.3.21113.0"]],
  [7, [0]],
  [-1, [0]],
  [2147483647, [0]]
];
for (var i = 0; i < cases.length; i++) {
  var got = items(ctl.LibGetInfo(cases[i][0]));
  host.Equal(got.length, cases[i][1].length, "LibGetInfo(" + cases[i][0] + ") element count");
  for (var j = 0; j < cases[i][1].length; j++)
    host.Equal(got[j], cases[i][1][j], "LibGetInfo(" + cases[i][0] + ")[" + j + "]");
}
// Names bind without regard to case; arguments convert to the table's types.
host.Equal(items(ctl.libgetinfo("2"))[1], "2.3.21113.0", "lower-case name, text argument");
var threw = false;
try { ctl.LibGetInfo(); } catch (e) { threw = (e.number >>> 0) == 0x8002000E; }
host.Check(threw, "missing argument gives DISP_E_BADPARAMCOUNT");
threw = false;
try { ctl.LibGetInfo("not a number"); } catch (e) { threw = (e.number >>> 0) == 0x80020005; }
host.Check(threw, "unconvertible argument gives DISP_E_TYPEMISMATCH");
