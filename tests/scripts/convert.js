// BinaryToString, StringToBinary and LocalTimeToUTCTime from a page.
function items(a) { return new VBArray(a).toArray(); }
// JScript cannot look into a byte array; hexadecimal text of it can.
function hexOf(a, n) { return items(ctl.BinaryToString(a, n, 0x0000000c))[1].replace(/\s+/g, ""); }

// Text to bytes and back with the caller's CRYPT_STRING_* flag.
var r = items(ctl.StringToBinary("AQID", 1));
host.Equal(r.length, 2, "StringToBinary answers two elements");
host.Equal(r[0], 0, "StringToBinary code");
host.Equal(host.TypeName(r[1]), 8209, "a byte array (VT_ARRAY | VT_UI1)");
host.Equal(hexOf(r[1], 3), "010203", "the three bytes");
var three = r[1];
host.Equal(items(ctl.BinaryToString(three, 3, 1)).join("|"), "0|AQID\r\n", "base64 with a line break");
host.Equal(items(ctl.BinaryToString(three, 3, 0x40000001)).join("|"), "0|AQID", "one line of base64");
host.Equal(items(ctl.BinaryToString(three, 2, 4)).join("|").replace(/\s+$/, ""), "0|01 02", "hexadecimal of two bytes");
host.Equal(items(ctl.BinaryToString(three, 0, 1))[0], 0, "no bytes");

// A length beyond the array or below zero never reads past the bytes.
var cases = [[4, "beyond the array"], [-1, "negative"], [-2147483648, "most negative"], [2147483647, "huge"]];
for (var i = 0; i < cases.length; i++) {
  r = items(ctl.BinaryToString(three, cases[i][0], 1));
  host.Equal(r.length, 2, cases[i][1] + ": two elements");
  host.Equal(r[0], 40, cases[i][1] + ": code 40");
  host.Equal(r[1], "", cases[i][1] + ": empty text");
}
r = items(ctl.BinaryToString(three, 3, 0x77));
host.Equal(r[0], 40, "a flag the platform refuses");

r = items(ctl.StringToBinary("zz", 4));
host.Equal(r[0], 39, "not hexadecimal");
host.Equal(items(ctl.BinaryToString(r[1], 1, 1))[0], 40, "an empty byte array: not one byte to read");
host.Equal(host.TypeName(r[1]), 8209, "still a byte array");
r = items(ctl.StringToBinary("", 1));
host.Equal(r[0], 39, "empty text cannot be decoded");
r = items(ctl.StringToBinary("0a1b", 4));
host.Equal(r[0], 0, "hexadecimal text");
host.Equal(hexOf(r[1], 2), "0a1b", "hexadecimal bytes");

// Time texts: the test sets the machine's zone, TESSARN_TZ_OFFSET hours
// east of UTC without daylight saving (0 when unset).
var east = parseInt(host.Env("TESSARN_TZ_OFFSET") || "0", 10);
function pad(n) { return (n < 10 ? "0" : "") + n; }
var times = [
  ["2017/12/02 15:22:59", "2017/12/02 " + pad(15 - east) + ":22:59"],
  ["2017/1/2 13:4:5", "2017/01/02 " + pad(13 - east) + ":04:05"],
  ["2017-01-02 03:04:05", ""],
  ["", ""],
  ["2017/13/02 03:04:05", ""],
  ["2017/12/02 24:00:00", ""]
];
for (i = 0; i < times.length; i++) {
  r = items(ctl.LocalTimeToUTCTime(times[i][0]));
  host.Equal(r.length, 2, "[" + times[i][0] + "] two elements");
  host.Equal(r[0], 0, "[" + times[i][0] + "] code is always 0");
  host.Equal(r[1] == null ? "" : r[1], times[i][1], "[" + times[i][0] + "]");
}
