#!/usr/bin/env python3
"""What the browser bridge adds to a call, measured in a real browser.

The run is set up as the browser tests set theirs up (browser_test.py: a
private prefix with the control registered and the test PKI's keys, the
extension loaded unpacked, the host under Wine behind a wrapper, pages from
127.0.0.1, whose origin the policy lists). Then:

- The same calls in process: the script host, with the control sited at the
  page's origin as the bridge host sites it, makes the page's calls through
  the page library talking to the control directly (bridge_inprocess.js),
  in the same prefix, half the samples before the browser starts and half
  after it stopped.
- The first call with the host's start: bench_cold.html, once per round,
  waits until no host is running (the extension lets its host go a few
  seconds after the last page left), then times LibGetInfo(0) until its
  answer. The first round is also the browser's first page.
- Warm calls: bench_warm.html makes each call a few times to warm up, then
  times each of the next ones alone with performance.now().
- The same calls straight to the host, after the browser has gone.

Prints, after the run, one line per figure (times in microseconds):
  bridge|BROWSER|ARCH|NAME|PAGE_MEDIAN|PAGE_MIN|PAGE_MAX|INPROCESS_MEDIAN|INPROCESS_MIN|INPROCESS_MAX|CALLS
  bridgehost|BROWSER|ARCH|NAME|MEDIAN|MIN|MAX|CALLS
  bridgestart|BROWSER|ARCH|MEDIAN|MIN|MAX|ROUNDS|SPAWN_MEDIAN
where "bridgehost" is the same call sent straight to a host of its own from
this program over its pipes (bridge_direct.py), no browser between, and
SPAWN is the time from the page's request to the wrapper's start of
the host, the part the browser and the extension take before Wine starts.
Progress goes to standard error.

  bridge_bench.py --browser chromium|firefox --arch x64|x86
                  --source DIR --build DIR --template DIR --pki DIR
                  [--calls 40] [--warmup 5] [--rounds 5] [--smoke]

scripts/benchmark.sh appends the figures to each module's output, one module
after the other once the in-process benchmarks are done (each run owns a
browser, an Xvfb and both cores), for report.py's Bridge section:
  xvfb-run -a -s "-screen 0 1024x768x24" python3 tests/bench/bridge_bench.py \
    --browser chromium --arch ARCH --source ROOT --build ROOT/build/ARCH \
    --template ROOT/build/wineprefix --pki ROOT/build/ARCH/pki >> OUT/ARCH.txt

--smoke makes each call once or twice and checks every answer (RawSign's
signature with OpenSSL), as the suite's check that the benchmark still
works; it prints no figures. A run this machine cannot make fails.
"""
import argparse
import contextlib
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "browser")]
import bridge_direct  # noqa: E402
import browser_test  # noqa: E402
from browser_test import Handler, Run, fail, log  # noqa: E402

POLICY_KEY = "HKLM\\SOFTWARE\\Policies\\Zorv\\Tessarn"


class BenchHandler(Handler):
    """The test server, plus what the benchmark's pages need: the count of
    hosts running, and pages that are cross-origin isolated, where the
    browser's performance.now() keeps its finer grain."""

    def do_GET(self):
        if self.path.split("?", 1)[0] == "/host-state":
            entries = self.server.bench_run.host_exits()
            starts = sum(1 for e in entries if e[0] == "start")
            exits = sum(1 for e in entries if e[0] == "exit")
            body = json.dumps({"starts": starts, "exits": exits, "running": starts - exits}).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Cache-Control", "no-store")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        super().end_headers()


def spread(values):
    return statistics.median(values), min(values), max(values)


def measure_in_process(run, origin, samples, warmup):
    """The page's calls on the control in this process's prefix: name ->
    the samples, in microseconds per call."""
    a = run.args
    env = dict(run.env, TESSARN_PKI=run.winpath(a.pki))
    r = run.wine(os.path.join(a.build, "tests/host/script_host.exe"), "--moniker", origin,
                 run.winpath(os.path.join(HERE, "bridge_inprocess.js")),
                 run.winpath(os.path.join(a.source, "bridge/page/tessarn.js")),
                 run.winpath(os.path.join(a.source, "tests/browser/pages/calls.js")),
                 run.winpath(os.path.join(HERE, "bridge_pages/bench_jobs.js")),
                 str(samples), str(warmup), check=False, env=env)
    got = {}
    for line in r.stdout.splitlines():
        f = line.strip().split("|")
        if f[0] == "inprocess":
            got[f[1]] = [float(x) for x in f[3].split(",")]
    if r.returncode != 0 or len(got) != 2:
        fail("the in-process calls through the script host failed:\n" + r.stdout)
    for name, us in got.items():
        log("in process: %s %.3f ms (%.3f-%.3f)" % ((name,) + tuple(x / 1000 for x in spread(us))))
    return got


def verify_signature(run, job):
    """RawSign's answer checked by OpenSSL against the test PKI's key."""
    args, answer = job["args"], job["last"]
    with open(os.path.join(run.files, "raw-1.txt"), "w") as f:
        f.write("full %s %s %s\n" % (args[3], args[0], answer[1]))
    r = subprocess.run(["bash", os.path.join(run.args.source, "tests/pki/verify-signatures.sh"),
                        run.files, run.args.pki, "1"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode != 0:
        fail("OpenSSL: " + r.stdout)
    log("the page's RawSign SHA256 signature: " + r.stdout.strip())


def time_host_alone(run, origin, warmup, calls):
    """The page's calls sent straight to a host of their own: name -> the
    microseconds of each call."""
    thumb = open(os.path.join(run.args.pki, "full.sha1")).read().strip()
    jobs = [("LibGetInfo", "LibGetInfo", [0], lambda r: bool(r) and r[0] == 0 and r[1] == "Tessarn"),
            ("RawSign SHA256", "RawSign", ["22" * 32, "F12345", thumb, "SHA256"],
             lambda r: bool(r) and r[0] == 0 and len(r[1]) >= 64)]
    try:
        got = bridge_direct.time_calls(run, origin, jobs, warmup, calls)
    except (RuntimeError, EOFError) as e:
        fail(str(e))
    for name, us in got.items():
        log("straight to the host: %s %.3f ms (%.3f-%.3f)" % ((name,) + tuple(x / 1000 for x in spread(us))))
    return got


def host_start_times(run):
    """When the wrapper started each host, in milliseconds since the epoch."""
    try:
        with open(os.path.join(run.work, "host-started")) as f:
            return [int(line) / 1e6 for line in f if line.strip()]
    except FileNotFoundError:
        return []


def check_cold(run, reports, rounds):
    times, spawns = [], []
    started = host_start_times(run)
    for i in range(rounds):
        got = reports["cold-%d" % i]
        r = got.get("result")
        if not r or r[0] != 0 or r[1] != "Tessarn":
            fail("round %d: the first LibGetInfo(0) answered %s" % (i, json.dumps(got)[:400]))
        times.append(got["ms"] * 1000)
        # The host this round's call started: the first one the wrapper
        # started after the request.
        later = [t for t in started if t >= got["startedAt"] - 5]
        if later:
            spawns.append((min(later) - got["startedAt"]) * 1000)
        log("round %d: first call with the host's start %.0f ms" % (i, got["ms"]))
    starts = [e for e in run.host_exits() if e[0] == "start"]
    if len(starts) < rounds:
        fail("%d rounds started only %d hosts: a round's call did not start its own" % (rounds, len(starts)))
    return times, spawns


def check_warm(run, report, calls):
    jobs = {}
    for job in report["jobs"]:
        if job["wrong"] is not None:
            fail("%s: the page got %s" % (job["name"], json.dumps(job["wrong"])[:400]))
        if len(job["times"]) != calls:
            fail("%s: %d timed calls, expected %d" % (job["name"], len(job["times"]), calls))
        jobs[job["name"]] = job
    if set(jobs) != {"LibGetInfo", "RawSign SHA256"}:
        fail("the page reported %s" % sorted(jobs))
    verify_signature(run, jobs["RawSign SHA256"])
    return jobs


def bench(args):
    run = Run(args)
    try:
        hosts = browser_test.serve_pages(run, [os.path.join(args.source, "tests/browser/pages"),
                                               os.path.join(HERE, "bridge_pages")], BenchHandler)
        run.server.bench_run = run
        origin = hosts["allowed"]
        args.policy = ["%s|/v|AllowedOrigins|/t|REG_MULTI_SZ|/d|%s" % (POLICY_KEY, origin),
                       "%s|/v|Prompt|/t|REG_DWORD|/d|0" % POLICY_KEY]
        # The wrapper notes when it starts each host, so that the first
        # call's time can be split at the host's start.
        args.host_command = 'date +%%s%%N >> "%s"; /usr/lib/wine/wine64 "%s" "$@"' % (
            os.path.join(run.work, "host-started"), os.path.join(args.build, "tessarn-host.exe"))
        started = time.time()
        run.make_prefix()
        log("prefix ready in %.1f s" % (time.time() - started))

        # The in-process samples are taken half before and half after the
        # browser's run, so that a machine that grows busier or quieter
        # meanwhile moves both figures alike.
        samples, warmup = (1, 0) if args.smoke else ((args.calls + 1) // 2, args.warmup)
        inproc = measure_in_process(run, origin, samples, warmup)

        wrapper = run.write_wrapper()
        ext = run.build_extension()
        ident = browser_test.read_identity(ext)
        rounds = 1 if args.smoke else args.rounds
        calls, warm_up = (2, 0) if args.smoke else (args.calls, args.warmup)
        warm = "/bench_warm.html?warmup=%d&calls=%d" % (warm_up, calls)
        url = origin + "/bench_cold.html?round=0&rounds=%d&next=%s" % (rounds, warm.replace("&", "%26"))
        started = time.time()
        run.start_browser(ext, wrapper, ident, [url])
        awaited = ["cold-%d" % i for i in range(rounds)] + ["warm"]
        reports = run.wait_reports(awaited)
        log("the pages reported in %.1f s" % (time.time() - started))
        cold, spawns = check_cold(run, reports, rounds)
        jobs = check_warm(run, reports["warm"], calls)
        if not reports["warm"].get("isolated"):
            log("note: the page was not cross-origin isolated; performance.now() is coarser")
        run.stop_browser()
        if args.smoke:
            return []
        for name, us in measure_in_process(run, origin, samples, warmup).items():
            inproc[name] += us
        direct = time_host_alone(run, origin, args.warmup, calls)
        lines = []
        for name in ("LibGetInfo", "RawSign SHA256"):
            page = spread([t * 1000 for t in jobs[name]["times"]])
            lines.append("bridge|%s|%s|%s|%.1f|%.1f|%.1f|%.1f|%.1f|%.1f|%d" % (
                (args.browser, args.arch, name) + page + spread(inproc[name]) + (calls,)))
            lines.append("bridgehost|%s|%s|%s|%.1f|%.1f|%.1f|%d" % (
                (args.browser, args.arch, name) + spread(direct[name]) + (calls,)))
        lines.append("bridgestart|%s|%s|%.1f|%.1f|%.1f|%d|%.1f" % (
            (args.browser, args.arch) + spread(cold) + (rounds, statistics.median(spawns) if spawns else -1)))
        return lines
    finally:
        run.cleanup()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--browser", default="chromium", choices=["chromium", "firefox"])
    p.add_argument("--arch", default="x64")
    p.add_argument("--source", required=True)
    p.add_argument("--build", required=True)
    p.add_argument("--template", required=True)
    p.add_argument("--pki", required=True)
    p.add_argument("--calls", type=int, default=40, help="timed calls of each method")
    p.add_argument("--warmup", type=int, default=5, help="calls of each method before the timed ones")
    p.add_argument("--rounds", type=int, default=5, help="first calls, each with a host started afresh")
    p.add_argument("--smoke", action="store_true")
    args = p.parse_args()
    args.host_command = None
    args.policy = []

    # Everything but the figures goes to standard error, so that the
    # figures can be appended to the benchmark's output as they are.
    with contextlib.redirect_stdout(sys.stderr):
        browser_test.check_runs_here(args)
        browser_test.check_inputs(args)
        lines = bench(args)
        log("PASS")
    if not args.smoke:
        print("\n".join(lines), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
