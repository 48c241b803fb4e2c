#!/usr/bin/env python3
"""Prints the extension id a CRX3 package installs under, read from its
signed header, and checks that the header's RSA key gives that id:
    crx_id.py tessarn.crx [EXPECTED_ID]
With EXPECTED_ID (the id the host manifests name, build/bridge/identity.txt)
it fails unless the package's id is that one: a browser would install such a
package under another id, and the host would refuse to talk to it."""
import hashlib
import struct
import sys


def fields(data):
    """The (number, bytes) length-delimited fields of a protobuf message."""
    i = 0
    while i < len(data):
        key, i = varint(data, i)
        number, wire = key >> 3, key & 7
        if wire == 2:
            n, i = varint(data, i)
            yield number, data[i:i + n]
            i += n
        elif wire == 0:
            _, i = varint(data, i)
        else:
            raise ValueError("unexpected field type %d in the CRX header" % wire)


def varint(data, i):
    value = shift = 0
    while True:
        b = data[i]
        i += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return value, i


def letters(digest16):
    return "".join("abcdefghijklmnop"[int(c, 16)] for c in digest16.hex())


def package_id(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"Cr24" or len(data) < 12:
        raise ValueError("%s is not a CRX package" % path)
    version, size = struct.unpack("<II", data[4:12])
    if version != 3:
        raise ValueError("%s is a CRX%d package; Chrome and Edge take CRX3 only" % (path, version))
    header = data[12:12 + size]
    crx_id = None
    keys = []
    for number, value in fields(header):
        if number == 10000:  # signed_header_data
            for n, v in fields(value):
                if n == 1:
                    crx_id = v
        elif number == 2:  # sha256_with_rsa proof
            for n, v in fields(value):
                if n == 1:
                    keys.append(v)
    if crx_id is None or len(crx_id) != 16:
        raise ValueError("%s carries no extension id in its signed header" % path)
    if not any(hashlib.sha256(k).digest()[:16] == crx_id for k in keys):
        raise ValueError("no RSA key of %s gives the id in its header" % path)
    return letters(crx_id)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    try:
        got = package_id(sys.argv[1])
    except (OSError, ValueError, IndexError) as e:
        sys.exit("crx_id: %s" % e)
    if len(sys.argv) == 3 and got != sys.argv[2]:
        sys.exit("crx_id: %s installs as extension %s, but the host manifests name %s: "
                 "pack it with the key the build used (TESSARN_EXTENSION_KEY) or rebuild the manifests"
                 % (sys.argv[1], got, sys.argv[2]))
    print(got)


if __name__ == "__main__":
    main()
