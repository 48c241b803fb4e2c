#!/usr/bin/env bash
# Builds the page library's npm package and what is shipped beside it:
#   OUT/pkg                the package's build folder (dist/: the ES module
#                          and its declarations), with TypeScript installed
#                          from the lock file (once; again when it changes)
#   OUT/zorv-tessarn-*.tgz the package, as npm pack makes it
#   OUT/tessarn.js         the ES3 page library for old containers
#   OUT/fixture/           the mock's test certificates as PEM, and the
#                          signer's key as a CryptoAPI key blob
#                          (tessarn-import-cert) and with its certificate
#                          as a PKCS #12 file
#   OUT/example/           docs/examples/page-library compiled against the
#                          packed package with tsc --strict
#   OUT/react/dist/        docs/examples/react built with Vite
# Usage: build.sh OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
pkg=$out/pkg
mkdir -p "$pkg/src" "$out/fixture"

# Nothing to do when no input changed since the last complete build.
inputs=$(cd "$root" && find bridge/page/npm bridge/page/tessarn.js docs/examples/page-library docs/examples/react \
           resources/strings.rc control/result_codes.cpp certutil/result_code.h -type f -print0 | sort -z |
         xargs -0 sha256sum | sha256sum)
if [ -f "$out/.inputs" ] && [ "$(cat "$out/.inputs")" = "$inputs" ] && [ -f "$out/react/dist/index.html" ]; then
  echo "page library: up to date"
  exit 0
fi
rm -f "$out/.inputs"

# Sources, with the two generated modules: the result texts from the
# control's string tables, the fixture from the test certificates.
cp "$here/package.json" "$here/package-lock.json" "$here/tsconfig.json" "$here/README.md" "$pkg/"
rm -rf "$pkg/src" && cp -r "$here/src" "$pkg/src"
python3 "$here/tools/result_texts.py" "$root" "$pkg/src/result-texts.ts"
bash "$here/tools/make-fixture.sh" "$pkg/src/fixture.ts" "$out/fixture"
if [ ! -f "$out/fixture/signer.blob" ]; then
  openssl rsa -in "$out/fixture/signer.key" -outform MSBLOB -out "$out/fixture/signer.blob" 2>/dev/null
fi
if [ ! -f "$out/fixture/signer.pfx" ]; then
  openssl pkcs12 -export -in "$out/fixture/signer.pem" -inkey "$out/fixture/signer.key" \
    -certfile "$out/fixture/chain.pem" -name "Jana Testová (Tessarn test)" -passout pass:tessarn \
    -keypbe AES-256-CBC -certpbe AES-256-CBC -macalg sha256 -out "$out/fixture/signer.pfx"
fi

# TypeScript from the registry, pinned by the lock file; installed again
# only when the lock file changed.
stamp=$pkg/node_modules/.tessarn-lock
if ! cmp -s "$here/package-lock.json" "$stamp" 2>/dev/null; then
  (cd "$pkg" && npm ci --no-audit --no-fund --ignore-scripts --prefer-offline >/dev/null)
  cp "$here/package-lock.json" "$stamp"
fi
tsc=$pkg/node_modules/.bin/tsc
rm -rf "$pkg/dist"
(cd "$pkg" && "$tsc" -p tsconfig.json)
# The library's own tests, compiled beside it (test-dist/, not packed).
cp "$here/tsconfig.test.json" "$pkg/" && rm -rf "$pkg/test" "$pkg/test-dist" && cp -r "$here/test" "$pkg/test"
(cd "$pkg" && "$tsc" -p tsconfig.test.json)
rm -f "$out"/zorv-tessarn-*.tgz
(cd "$pkg" && npm pack --pack-destination "$out" --silent >/dev/null)

cp "$root/bridge/page/tessarn.js" "$out/tessarn.js"

# The example page, written against the packed package as a developer's
# project would install it.
example=$out/example
rm -rf "$example" && mkdir -p "$example/node_modules/@zorv/tessarn"
cp -r "$root/docs/examples/page-library/." "$example/"
ln -s "$pkg/node_modules/@types" "$example/node_modules/@types"
tar -xzf "$out"/zorv-tessarn-*.tgz -C "$example/node_modules/@zorv/tessarn" --strip-components=1
(cd "$example" && "$tsc" -p tsconfig.json --strict)
# The React example, built with Vite: its packages from its lock file
# (installed again only when that changes), the packed package beside them.
react=$out/react
mkdir -p "$react"
rm -rf "$react/src" "$react/dist"
cp -r "$root/docs/examples/react/." "$react/"
rstamp=$react/node_modules/.tessarn-lock
if ! cmp -s "$root/docs/examples/react/package-lock.json" "$rstamp" 2>/dev/null; then
  (cd "$react" && npm ci --no-audit --no-fund --ignore-scripts --prefer-offline >/dev/null)
  cp "$root/docs/examples/react/package-lock.json" "$rstamp"
fi
rm -rf "$react/node_modules/@zorv/tessarn" && mkdir -p "$react/node_modules/@zorv/tessarn"
tar -xzf "$out"/zorv-tessarn-*.tgz -C "$react/node_modules/@zorv/tessarn" --strip-components=1
(cd "$react" && node_modules/.bin/tsc -p tsconfig.json --strict && node_modules/.bin/vite build --logLevel warn)
echo "$inputs" > "$out/.inputs"
echo "page library: $(basename "$out"/zorv-tessarn-*.tgz), examples compiled with tsc --strict, the React one built with Vite"
