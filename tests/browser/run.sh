#!/bin/sh
# The browser test: generates documents, converts and shows them, and checks
# the pages in headless Chromium (check.mjs).
#   run.sh <browser_docs> <tyx2html> <examples folder> <work folder>
set -eu
docs_program=$1
tyx2html=$2
examples=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)
count=${BROWSER_TEST_DOCUMENTS:-300}

chromium=${CHROMIUM:-/usr/bin/chromium}
command -v node >/dev/null || { echo "browser test: node is not installed"; exit 1; }
[ -x "$chromium" ] || { echo "browser test: $chromium is not installed"; exit 1; }
if [ ! -d "$here/node_modules/puppeteer-core" ]; then
  (cd "$here" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi

rm -rf "$work"
mkdir -p "$work/docs" "$work/examples" "$work/screenshots"
"$docs_program" "$work/docs" "$count"
for tyx in "$examples"/*.tyx; do
  name=$(basename "$tyx" .tyx)
  cp "$tyx" "$work/examples/"
  "$tyx2html" "$tyx" "$work/examples/$name.html"
done
CHROMIUM=$chromium node "$here/check.mjs" --docs "$work/docs" --examples "$work/examples" \
  --screenshots "$work/screenshots"
