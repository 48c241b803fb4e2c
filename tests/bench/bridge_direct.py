"""The bridge host driven straight from this program, as the browser drives
it (length-prefixed JSON over its standard input and output) but with no
browser and no extension between: how long a request takes through Wine's
pipes and the host's own work. What the page's call takes beyond that is
the browser's part (native messaging, the extension, the page's messages)."""
import json
import os
import struct
import subprocess
import time


def _read_exactly(stream, n):
    data = b""
    while len(data) < n:
        part = stream.read(n - len(data))
        if not part:
            raise EOFError("the host ended its output")
        data += part
    return data


class DirectHost:
    def __init__(self, run):
        self.proc = subprocess.Popen(["/usr/lib/wine/wine64", os.path.join(run.args.build, "tessarn-host.exe")],
                                     env=run.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.next_id = 1

    def call(self, origin, method, args):
        """One request and its answer; (answer, microseconds)."""
        message = json.dumps({"id": self.next_id, "origin": origin, "method": method, "args": args}).encode()
        self.next_id += 1
        started = time.perf_counter()
        self.proc.stdin.write(struct.pack("<I", len(message)) + message)
        self.proc.stdin.flush()
        length, = struct.unpack("<I", _read_exactly(self.proc.stdout, 4))
        answer = json.loads(_read_exactly(self.proc.stdout, length))
        return answer, (time.perf_counter() - started) * 1e6

    def close(self):
        self.proc.stdin.close()
        return self.proc.wait(60)


def time_calls(run, origin, jobs, warmup, calls):
    """jobs: [(name, method, args, check)]; name -> microseconds of each timed
    call, on one host started for them."""
    host = DirectHost(run)
    try:
        got = {}
        for name, method, args, check in jobs:
            times = []
            for i in range(warmup + calls):
                answer, us = host.call(origin, method, args)
                if not check(answer.get("result")):
                    raise RuntimeError("%s straight to the host: %s" % (name, json.dumps(answer)[:400]))
                if i >= warmup:
                    times.append(us)
            got[name] = times
        return got
    finally:
        host.close()
