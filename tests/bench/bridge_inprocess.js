// The in-process side of the bridge benchmark, run by the script host with
// the control sited at the page's own origin (as the bridge host sites it):
// the same calls as the page's, through the same page library talking to
// the control directly, as in IE mode. Prints one line per call, with the
// time of each sample in microseconds per call:
//   inprocess|NAME|CALLS_PER_SAMPLE|US,US,...
//   script_host --moniker ORIGIN bridge_inprocess.js TESSARN_JS CALLS_JS JOBS_JS SAMPLES WARMUP
// The script engine's clock counts whole milliseconds: each sample is the
// mean of as many calls as take at least 50 ms together (one call when
// `samples` is 1, as in the smoke run, which only checks the answers).
eval(host.ReadFile(host.Arg(0)));
eval(host.ReadFile(host.Arg(1)));
eval(host.ReadFile(host.Arg(2)));
var samples = Number(host.Arg(3)), warmup = Number(host.Arg(4));
var pkiDir = host.Env("TESSARN_PKI");
Tessarn.useControl(ctl);

// Without Promise the library's then-able settles at once.
function callOnce(job) {
  var got = null;
  tessarnCall(job.method, job.args).then(function (r) { got = r; }, function (e) { got = { error: e }; });
  if (!job.check(got)) host.Fail(job.name + " answered " + toJson(got));
}

function now() { return new Date().getTime(); }

var jobs = benchJobs(host.ReadFile(pkiDir + "\\full.sha1").replace(/\s+$/, ""));
for (var j = 0; j < jobs.length; j++) {
  var job = jobs[j], i;
  for (i = 0; i < warmup; i++) callOnce(job);
  var batch = 1;
  if (samples > 1) {
    for (;;) {
      var t0 = now();
      for (i = 0; i < batch; i++) callOnce(job);
      if (now() - t0 >= 50) break;
      batch *= 2;
    }
  }
  var us = [];
  for (var s = 0; s < samples; s++) {
    var start = now();
    for (i = 0; i < batch; i++) callOnce(job);
    us.push((now() - start) * 1000 / batch);
  }
  host.Echo("inprocess|" + job.name + "|" + batch + "|" + us.join(","));
}
