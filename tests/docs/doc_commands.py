#!/usr/bin/env python3
"""Runs what the page library's documentation shows.

  doc_commands.py run ROOT --pki DIR --hash HEX --signature HEX
                  --message BASE64 --content TEXT
      Runs every shell block of the documentation marked
      "<!-- suite: signature files -->" (the OpenSSL checks) in a folder
      that holds what the blocks name: signer.pem, issuing-ca.pem,
      root.pem, hash.hex, signature.hex (a raw SHA-256 signature),
      message.b64 (a PKCS #7 message of --content). The blocks must end
      with content.bin equal to the content.

  doc_commands.py snippets ROOT --page BUILD/page
      Compiles every TypeScript block of the documentation with
      tsc --strict against the packed package, and runs each in Node
      against the mock (a block preceded by "<!-- compile only: REASON -->"
      is compiled only). A block may use `tessarn` (a Tessarn on the mock)
      and `signer` (its first certificate) without declaring them.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

PAGES = ["docs/methods.md", "docs/page-library.md", "docs/first-page.md"]
RUN_MARK = "<!-- suite: signature files -->"


def blocks(root, languages):
    """(page, line, language, code, marker) of every fenced block."""
    found = []
    for page in PAGES:
        with open(os.path.join(root, page), encoding="utf-8") as f:
            lines = f.read().split("\n")
        i = 0
        while i < len(lines):
            m = re.match(r"^```(\w+)\s*$", lines[i])
            if m:
                j = i + 1
                while j < len(lines) and lines[j].strip() != "```":
                    j += 1
                k = i - 1
                while k >= 0 and not lines[k].strip():
                    k -= 1
                if m.group(1) in languages:
                    found.append((page, i + 1, m.group(1), "\n".join(lines[i + 1:j]), lines[k].strip() if k >= 0 else ""))
                i = j
            i += 1
    return found


def run_commands(args):
    work = tempfile.mkdtemp(prefix="tessarn-doc-commands-")
    try:
        shutil.copy(os.path.join(args.pki, "full.pem"), os.path.join(work, "signer.pem"))
        shutil.copy(os.path.join(args.pki, "ca.pem"), os.path.join(work, "issuing-ca.pem"))
        shutil.copy(os.path.join(args.pki, "root.pem"), os.path.join(work, "root.pem"))
        for name, value in (("hash.hex", args.hash), ("signature.hex", args.signature), ("message.b64", args.message)):
            with open(os.path.join(work, name), "w") as f:
                f.write(value + "\n")
        ran = 0
        for page, line, _, code, marker in blocks(args.root, {"sh"}):
            if marker != RUN_MARK:
                if "openssl" in code:
                    print("FAIL: %s:%d: an OpenSSL block not marked %s" % (page, line, RUN_MARK))
                    return 1
                continue
            for leftover in ("content.bin",):
                if os.path.exists(os.path.join(work, leftover)):
                    os.remove(os.path.join(work, leftover))
            r = subprocess.run(["bash", "-euo", "pipefail", "-c", code], cwd=work, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
            if r.returncode != 0:
                print("FAIL: %s:%d: the block failed (exit %d):\n%s\n---\n%s" % (page, line, r.returncode, code, r.stdout))
                return 1
            if "cms -verify" in code:
                with open(os.path.join(work, "content.bin"), "rb") as f:
                    if f.read() != args.content.encode("utf-8"):
                        print("FAIL: %s:%d: content.bin is not the signed text" % (page, line))
                        return 1
            ran += 1
        if ran < 3:
            print("FAIL: only %d OpenSSL blocks found in %s" % (ran, ", ".join(PAGES)))
            return 1
        print("the documentation's %d OpenSSL blocks ran on the signatures" % ran)
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_snippets(args):
    work = tempfile.mkdtemp(prefix="tessarn-doc-snippets-")
    try:
        os.makedirs(os.path.join(work, "node_modules"))
        os.symlink(os.path.join(args.page, "example", "node_modules", "@zorv"), os.path.join(work, "node_modules", "@zorv"))
        os.symlink(os.path.join(args.page, "pkg", "node_modules", "@types"), os.path.join(work, "node_modules", "@types"))
        found = blocks(args.root, {"ts"})
        runnable = []
        for n, (page, line, _, code, marker) in enumerate(found, 1):
            compile_only = re.match(r"^<!--\s*compile only:\s*(.+?)\s*-->$", marker)
            imports = [l for l in code.split("\n") if l.startswith("import ")]
            body = [l for l in code.split("\n") if not l.startswith("import ")]
            text = "\n".join(body)
            prelude = []
            if not re.search(r"\b(const|let)\s+tessarn\b", text):
                prelude.append("const tessarn = tessarnOnMock;")
            if re.search(r"\bsigner\b", text) and not re.search(r"\b(const|let)\s+(\[\s*)?signer\b", text):
                prelude.append("const [signer] = await tessarn.listCertificates(); void signer;")
            source = "\n".join(["// %s:%d" % (page, line)] + imports + [
                'import { Tessarn as TessarnForSnippet } from "@zorv/tessarn";',
                'import { createMockTransport as mockForSnippet } from "@zorv/tessarn/mock";',
                "export async function snippet(tessarnOnMock: TessarnForSnippet): Promise<void> {",
                "void tessarnOnMock;"] + prelude + body + ["}", ""])
            if compile_only:
                source += "void mockForSnippet;\n"
            else:
                source += "export const mock = mockForSnippet;\n"
                runnable.append((page, line, "snippet%d.js" % n))
            with open(os.path.join(work, "snippet%d.ts" % n), "w", encoding="utf-8") as f:
                f.write(source)
        with open(os.path.join(work, "tsconfig.json"), "w") as f:
            f.write('{"compilerOptions": {"target": "ES2022", "module": "ES2022", "moduleResolution": "bundler", '
                    '"lib": ["ES2022", "DOM"], "types": ["node"], "strict": true, "outDir": "dist", "skipLibCheck": false}, '
                    '"include": ["*.ts"]}')
        with open(os.path.join(work, "package.json"), "w") as f:
            f.write('{"type": "module"}')
        tsc = os.path.join(args.page, "pkg", "node_modules", ".bin", "tsc")
        r = subprocess.run([tsc, "-p", work, "--strict"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if r.returncode != 0:
            print("FAIL: the documentation's TypeScript does not compile with tsc --strict:\n" + r.stdout)
            return 1
        runner = os.path.join(work, "run.mjs")
        with open(runner, "w") as f:
            f.write("""import { Tessarn } from "@zorv/tessarn";
const [file, label] = process.argv.slice(2);
const m = await import("./dist/" + file);
await m.snippet(new Tessarn({ transport: m.mock() }));
console.log("ran: " + label);
""")
        for page, line, js in runnable:
            r = subprocess.run(["node", "--experimental-global-webcrypto", runner, js, "%s:%d" % (page, line)], cwd=work,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            print(r.stdout.strip())
            if r.returncode != 0:
                print("FAIL: %s:%d: the snippet failed against the mock" % (page, line))
                return 1
        print("%d TypeScript blocks compiled with tsc --strict, %d ran against the mock; %d passed, 0 failed"
              % (len(found), len(runnable), len(runnable)))
        return 0 if found else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("command", choices=["run", "snippets"])
    p.add_argument("root")
    for a in ("pki", "hash", "signature", "message", "content", "page"):
        p.add_argument("--" + a)
    args = p.parse_args()
    return run_commands(args) if args.command == "run" else run_snippets(args)


if __name__ == "__main__":
    sys.exit(main())
