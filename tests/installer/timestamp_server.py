#!/usr/bin/env python3
"""A local RFC 3161 time-stamp server for the signing tests.

Usage: timestamp_server.py TSA_DIR PORT_FILE

Answers every POSTed time-stamp query with `openssl ts -reply`, signed by
the TSA certificate in TSA_DIR (tsa.crt, tsa.key, tsa.cnf), on 127.0.0.1 at
a free port, which it writes to PORT_FILE once it listens.
"""
import http.server
import os
import subprocess
import sys
import tempfile

TSA_DIR = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        if not 0 < length <= 65536:
            self.send_error(400, "no query")
            return
        query = self.rfile.read(length)
        with tempfile.TemporaryDirectory() as work:
            query_file = os.path.join(work, "query.tsq")
            reply_file = os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            done = subprocess.run(
                ["openssl", "ts", "-reply", "-config", os.path.join(TSA_DIR, "tsa.cnf"),
                 "-queryfile", query_file, "-inkey", os.path.join(TSA_DIR, "tsa.key"),
                 "-signer", os.path.join(TSA_DIR, "tsa.crt"), "-chain", os.path.join(TSA_DIR, "ca.crt"),
                 "-out", reply_file],
                capture_output=True)
            if done.returncode != 0:
                sys.stderr.write(done.stderr.decode(errors="replace"))
                self.send_error(500, "openssl ts failed")
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


def main():
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(sys.argv[2] + ".tmp", sys.argv[2])
    server.serve_forever()


if __name__ == "__main__":
    main()
