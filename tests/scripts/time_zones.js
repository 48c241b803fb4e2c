// Local time in a zone with daylight saving (the test runs in
// Europe/Prague: UTC+1 in winter, UTC+2 in summer; in 2024 the clocks went
// forward on 31 March at 02:00 and back on 27 October at 03:00). Each date
// converts with the bias in effect on that date, whatever today's is.
function items(a) { return new VBArray(a).toArray(); }
var cases = [
  ["2024/01/15 12:00:00", "2024/01/15 11:00:00", "winter"],
  ["2024/07/15 12:00:00", "2024/07/15 10:00:00", "summer"],
  ["2024/03/31 01:59:59", "2024/03/31 00:59:59", "the last second before the spring change"],
  ["2024/03/31 03:00:00", "2024/03/31 01:00:00", "the first second after the spring change"],
  ["2024/10/27 01:59:59", "2024/10/26 23:59:59", "an hour before the autumn change"],
  ["2024/10/27 03:00:00", "2024/10/27 02:00:00", "the first hour after the autumn change"],
  ["2024/12/31 23:30:00", "2024/12/31 22:30:00", "new year's eve"]
];
for (var i = 0; i < cases.length; i++) {
  var r = items(ctl.LocalTimeToUTCTime(cases[i][0]));
  host.Equal(r[0], 0, "LocalTimeToUTCTime code: " + cases[i][2]);
  host.Equal(r[1], cases[i][1], "LocalTimeToUTCTime " + cases[i][0] + ": " + cases[i][2]);
}

// CertGetInfo's validity items are local times of the same zone: a
// certificate valid from 15 June 2020 10:30 UTC (summer) to 15 December
// 2020 10:30 UTC (winter), and one from and to a New Year's midnight UTC.
var pki = host.Env("TESSARN_PKI");
function cert(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
var validity = [
  ["summer", 8, "2020/06/15 12:30:00"],
  ["summer", 9, "2020/12/15 11:30:00"],
  ["expired", 8, "2020/01/01 01:00:00"],
  ["expired", 9, "2021/01/01 01:00:00"]
];
for (i = 0; i < validity.length; i++) {
  var v = validity[i];
  var got = items(ctl.CertGetInfo(cert(v[0]), v[1]));
  host.Equal(got[0], 0, "CertGetInfo code: " + v[0] + " item " + v[1]);
  host.Equal(got[1], v[2], "CertGetInfo " + v[0] + " item " + v[1] + " in local time");
}
var all = items(ctl.CertGetInfo(cert("summer"), 0));
host.Equal(all[8] + " - " + all[9], "2020/06/15 12:30:00 - 2020/12/15 11:30:00", "both items in the whole answer");
