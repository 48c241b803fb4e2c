#!/usr/bin/env python3
"""Writes the installed forms of the bridge's native-messaging host manifests.

Usage: render-manifests.py DEST TEMPLATE.json...

Each template is a host manifest for Chromium-based browsers (it lists
"allowed_origins") or for Firefox ("allowed_extensions"). The installed
manifest sits beside tessarn-host.exe, and on Windows both browsers resolve a
relative "path" against the manifest's folder, so "path" becomes the host's
bare file name wherever the package installs it.
"""
import json
import os
import sys


def main():
    dest, templates = sys.argv[1], sys.argv[2:]
    written = {}
    for template in templates:
        with open(template, encoding="utf-8") as f:
            manifest = json.load(f)
        if "allowed_origins" in manifest:
            kind = "chromium"
        elif "allowed_extensions" in manifest:
            kind = "firefox"
        else:
            sys.exit("render-manifests: %s lists neither allowed_origins nor allowed_extensions" % template)
        if kind in written:
            sys.exit("render-manifests: %s and %s are both %s manifests" % (written[kind], template, kind))
        manifest["path"] = "tessarn-host.exe"
        with open(os.path.join(dest, "zorv.tessarn.%s.json" % kind), "w", encoding="utf-8", newline="\n") as f:
            json.dump(manifest, f, indent=2)
            f.write("\n")
        written[kind] = template
    for kind in ("chromium", "firefox"):
        if kind not in written:
            sys.exit("render-manifests: no %s manifest among %s" % (kind, " ".join(templates)))


if __name__ == "__main__":
    main()
