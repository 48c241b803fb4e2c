#!/usr/bin/env python3
"""Writes BENCHMARKS.md from the benchmark's output.
Usage: report.py OUT.md COMMAND ARCH=FILE... (each FILE the concatenated
output of the default and logdir runs of one architecture, and of the
bridge benchmark, tests/bench/bridge_bench.py, where it ran)."""
import datetime
import os
import platform
import subprocess
import sys


def machine():
    cpu = "unknown"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True, text=True).stdout.strip()
    return f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}, {wine}{emulation()}"


def emulation():
    """How 32-bit programs run here: natively, or through the user-mode
    emulator that scripts/setup-i386.sh registered."""
    try:
        entry = open("/proc/sys/fs/binfmt_misc/tessarn-i386").read()
    except OSError:
        return "; 32-bit programs run natively"
    if "enabled" not in entry.split():
        return "; 32-bit programs run natively"
    qemu = next((l.split(" ", 1)[1] for l in entry.splitlines() if l.startswith("interpreter ")), "qemu-i386")
    version = subprocess.run([qemu, "--version"], capture_output=True, text=True).stdout.splitlines()
    return f"; 32-bit programs run under {version[0] if version else qemu} (user-mode emulation)"


def parse(path, bridge):
    rows, soak, each, probes, skipped = [], [], [], [], None
    for line in open(path):
        f = line.strip().split("|")
        if f[0] in ("bridge", "bridgehost", "bridgestart"):
            bridge.append(f)
        elif f[0] == "skipped":
            skipped = f[1]
        elif f[0] == "probe":
            probes.append((f[1], int(f[2]), float(f[3])))
        elif f[0] == "row":
            rows.append((f[1], *map(float, f[2:])))
        elif f[0] == "soak":
            soak.append((int(f[1]), int(f[2]), int(f[3])))
        elif f[0] == "soakeach":
            each.append((f[1], *map(int, f[2:])))
    return rows, soak, each, probes, skipped


def ms(us):
    # Below a millisecond a third decimal keeps the log's per-entry costs
    # apart.
    return f"{us / 1000:.3f}" if 0 < us < 1000 else f"{us / 1000:.2f}"


def bridge_section(fields):
    """The browser bridge's rows: what a page's call through the extension
    and the host costs on top of the same call in process."""
    warm = [f for f in fields if f[0] == "bridge"]
    start = [f for f in fields if f[0] == "bridgestart"]
    if not warm and not start:
        return []
    lines = [
        "## Bridge",
        "",
        "What the browser bridge (page library, extension, native messaging, `tessarn-host.exe`) adds",
        "to a call, measured by `tests/bench/bridge_bench.py` in a headless browser with the",
        "extension loaded unpacked and the host under Wine in a prefix already booted. Times in ms.",
        "",
    ]
    if warm:
        lines += [
            "**Warm calls.** The host already runs; after warm-up calls the page times each call",
            "alone with `performance.now()`, from `Tessarn.call` to its answer. The in-process figure",
            "is the same call with the same arguments through the same page library talking to the",
            "control directly (as in IE mode), in the script host with the control sited at the",
            "page's origin as the host sites it, in the same prefix and run (half its samples before",
            "the browser, half after). \"Added\" is the page's median less the in-process median.",
            "\"Host alone\" is the same call sent straight to a host of its own from the driver over",
            "its pipes, no browser between: Wine's pipes and the host's own work. The page's time",
            "beyond it is the browser's part (native messaging, the extension, the page's messages).",
            "",
            "| Browser | Module | Call | Page (ms) | spread | Host alone (ms) | In process (ms) | spread | Added (ms) | Calls |",
            "|---|---|---|---|---|---|---|---|---|---|",
        ]
        alone = {tuple(f[1:4]): float(f[4]) for f in fields if f[0] == "bridgehost"}
        for _, browser, arch, name, pm, plo, phi, im, ilo, ihi, calls in warm:
            pm, plo, phi, im, ilo, ihi = map(float, (pm, plo, phi, im, ilo, ihi))
            a = alone.get((browser, arch, name))
            lines.append(f"| {browser} | {arch} | {name} | {ms(pm)} | {ms(plo)}-{ms(phi)} | "
                         f"{ms(a) if a is not None else '-'} | {ms(im)} | "
                         f"{ms(ilo)}-{ms(ihi)} | {(pm - im) / 1000:+.2f} | {calls} |")
        lines.append("")
    if start:
        lines += [
            "**The first call with the host's start.** No host runs (the previous page left and the",
            "extension let its host go); the page times `LibGetInfo(0)` until its answer, the host's",
            "start under Wine included. The first round is also the browser's first page. \"Until",
            "the host starts\" is the part before the host's wrapper runs: the browser and the extension.",
            "",
            "| Browser | Module | First call (ms) | spread | Rounds | Until the host starts (ms) |",
            "|---|---|---|---|---|---|",
        ]
        for _, browser, arch, m, lo, hi, rounds, spawn in start:
            m, lo, hi, spawn = map(float, (m, lo, hi, spawn))
            lines.append(f"| {browser} | {arch} | {ms(m)} | {ms(lo)}-{ms(hi)} | {rounds} | "
                         f"{ms(spawn) if spawn >= 0 else '-'} |")
        lines.append("")
    targets = []
    for f in warm:
        if f[1] == "chromium" and f[3] == "LibGetInfo":
            added = (float(f[4]) - float(f[7])) / 1000
            targets.append(f"| A warm LibGetInfo, headless Chromium: at most 10 ms added | {f[2]} | "
                           f"{added:+.2f} ms | {'met' if added <= 10 else 'missed'} |")
    for f in start:
        if f[1] == "chromium":
            first = float(f[3]) / 1000
            targets.append(f"| The first call with the host's start, headless Chromium: at most 3 s | {f[2]} | "
                           f"{first / 1000:.2f} s | {'met' if first <= 3000 else 'missed'} |")
    if targets:
        lines += ["The bridge's targets (medians):", "", "| Target | Module | Measured | |", "|---|---|---|---|"]
        lines += targets + [""]
    if any(f[2] == "x86" for f in fields):
        lines += [
            "The 32-bit host, its control and the script host run as 32-bit programs; where the",
            "machine runs those through user-mode emulation (qemu), every figure of theirs, in",
            "process and through the bridge, is that much slower, and the first call's start of",
            "a 32-bit Wine process most of all. The browser's own part (the page's time less the",
            "host alone) runs natively for either module.",
            "",
        ]
    return lines


def main():
    out, command = sys.argv[1], sys.argv[2]
    lines = [
        "# Benchmarks",
        "",
        "What each method of the control costs, called through `IDispatch` as a page calls it,",
        "against a baseline that makes the bare platform calls doing the same job (no control,",
        "no log), measured in the same process and run under Wine. Times are milliseconds per",
        "call: the median of the samples and their min-max spread; each sample is the mean of",
        "several calls after a warm-up call.",
        "",
        f"- Date: {datetime.date.today().isoformat()}",
        f"- Machine: {machine()}",
        f"- Command: `{command}`",
        "",
    ]
    bridge = []
    for spec in sys.argv[3:]:
        arch, path = spec.split("=", 1)
        rows, soak, each, probes, skipped = parse(path, bridge)
        if skipped:
            lines += [f"## {arch}", "", f"Not measured: {skipped}.", ""]
            continue
        lines += [f"## {arch}", "", "| Job | Method (ms) | spread | Baseline (ms) | spread | Ratio | Log entries per call |",
                  "|---|---|---|---|---|---|---|"]
        by_name = {}
        for name, m, mmin, mmax, b, bmin, bmax, entries in rows:
            by_name[name] = (m, b)
            ratio = f"{m / b:.2f}" if b > 0 else "-"
            lines.append(f"| {name} | {ms(m)} | {ms(mmin)}-{ms(mmax)} | {ms(b) if b else '-'} | "
                         f"{(ms(bmin) + '-' + ms(bmax)) if b else '-'} | {ratio} | {entries:g} |")
        lines.append("")
        growth = []
        for job in ("CertEnum(0x183)", "CertEnum(0x083)", "CertLookup by thumbprint"):
            small, large = by_name.get(f"{job} (100)"), by_name.get(f"{job} (1000)")
            if small and large:
                base = f"{large[1] / small[1]:.2f}" if small[1] and large[1] else "-"
                growth.append(f"| {job} | {large[0] / small[0]:.2f} | {base} |")
        if growth:
            lines += ["Growth with the store, time(1,000) / time(100):", "", "| Job | Method | Baseline |",
                      "|---|---|---|"] + growth + [""]
        if soak:
            base_h, base_p = soak[0][1], soak[0][2]
            lines += ["Soak: mixed calls on one control, sampled every tenth of the run "
                      "(handles counted from the system's handle list; private bytes as the platform's pagefile usage):", "",
                      "| Calls | Handles | Private bytes | vs. first sample |", "|---|---|---|---|"]
            for calls, handles, private in soak:
                change = (private - base_p) / base_p * 100 if base_p else 0
                lines.append(f"| {calls} | {handles} ({handles - base_h:+d}) | {private} | {change:+.2f}% |")
            lines.append("")
        if each:
            lines += ["Growth per 1,000 calls of each call of the soak alone, against the bare platform calls "
                      "of the same job (250 calls after 25 warm-up calls):", "",
                      "| Call | Private bytes | Handles | Bare: private bytes | Bare: handles |",
                      "|---|---|---|---|---|"]
            for name, b, h, bb, bh in each:
                lines.append(f"| {name} | {b:+d} | {h:+d} | {bb:+d} | {bh:+d} |")
            lines.append("")
        if probes:
            lines += ["Handle probe: each platform call alone in a loop, in a process without the control "
                      "(tests/bench/handle_probe.cpp); handles the process keeps per 1,000 calls, and the "
                      "time of one call:", "",
                      "| Platform call | Handles kept per 1,000 calls | Time per call (ms) |", "|---|---|---|"]
            for name, kept, us in probes:
                lines.append(f"| {name} | {kept:+d} | {ms(us)} |")
            lines.append("")
    lines += bridge_section(bridge)
    notes = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notes.md")
    if os.path.exists(notes):
        lines += ["", open(notes).read().rstrip()]
    open(out, "w").write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
