// The calls the bridge benchmark times, made alike by the page through the
// extension and by the script host on the control itself, so that the two
// times differ only by the way the call travels. The arguments are those of
// the benchmark's own RawSign SHA256 row. ES3: the script host runs it too.
function benchJobs(fullSha1) {
  var hash = "";
  for (var i = 0; i < 32; i++) hash += "22";
  return [
    { name: "LibGetInfo", method: "LibGetInfo", args: [0],
      check: function (r) { return !!r && r[0] === 0 && r[1] === "Tessarn"; } },
    { name: "RawSign SHA256", method: "RawSign", args: [hash, "F12345", fullSha1, "SHA256"],
      check: function (r) { return !!r && r[0] === 0 && typeof r[1] === "string" && /^[0-9a-fA-F]{64,}$/.test(r[1]); } }
  ];
}
