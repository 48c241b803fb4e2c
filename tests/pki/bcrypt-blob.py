#!/usr/bin/env python3
"""Writes an OpenSSL private key (RSA, or EC on P-256/P-384/P-521) as the
BCrypt private key blob that BCryptImportKeyPair takes:
BCRYPT_RSAPRIVATE_BLOB or BCRYPT_ECCPRIVATE_BLOB (ECDSA magic).
Usage: bcrypt-blob.py KEY.pem OUT.blob"""
import re
import struct
import subprocess
import sys


def fields(text):
    """The hexadecimal fields of `openssl pkey -text -noout`, by name."""
    out, name = {}, None
    for line in text.splitlines():
        m = re.match(r"^(\w+):\s*(.*)$", line)
        if m:
            name = m.group(1)
            out[name] = m.group(2).strip()
            continue
        if name is not None and line.startswith(" "):
            out[name] += line.strip()
    return out


def unhex(value):
    return bytes.fromhex(value.replace(":", ""))


def strip(b):
    return b.lstrip(b"\0") or b"\0"


def main():
    key, out = sys.argv[1], sys.argv[2]
    text = subprocess.run(["openssl", "pkey", "-in", key, "-text", "-noout"], check=True,
                          capture_output=True, text=True).stdout
    f = fields(text)
    if "modulus" in f:
        n = strip(unhex(f["modulus"]))
        e = int(re.match(r"(\d+)", f["publicExponent"]).group(1))
        e = e.to_bytes((e.bit_length() + 7) // 8, "big")
        p, q = strip(unhex(f["prime1"])), strip(unhex(f["prime2"]))
        blob = struct.pack("<6I", 0x32415352, len(n) * 8, len(e), len(n), len(p), len(q)) + e + n + p + q
    else:
        curve = re.search(r"(prime256v1|secp384r1|secp521r1)", text).group(1)
        size, magic = {"prime256v1": (32, 0x32534345), "secp384r1": (48, 0x34534345),
                       "secp521r1": (66, 0x36534345)}[curve]
        d = strip(unhex(f["priv"])).rjust(size, b"\0")
        pub = unhex(f["pub"])
        assert pub[0] == 4 and len(pub) == 1 + 2 * size
        blob = struct.pack("<2I", magic, size) + pub[1:] + d
    with open(out, "wb") as fh:
        fh.write(blob)


if __name__ == "__main__":
    main()
