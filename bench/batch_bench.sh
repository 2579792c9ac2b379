#!/usr/bin/env bash
# Benchmark (measures, asserts nothing): converts generated documents of 1 to
# 3 KB (2,000 by default) through vantrove-batch, then through a plain for
# loop of vantrove over the same files, and prints documents per second for
# both. Both run the programs of an install of BUILD into a scratch prefix.
#   bench/batch_bench.sh [BUILD [COUNT]]    (BUILD: a build folder with its
#                                            tests built; default: build)
set -euo pipefail
build=$(realpath -e -- "${1:-build}")
count=${2:-2000}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
"$build/tests/make_batch_tree" "$work/src" "$count" >/dev/null
mapfile -d '' documents < <(find "$work/src" -type f -print0)
bytes=$(du -sb "$work/src" | cut -f1)

# rate START COUNT: time since START (an $EPOCHREALTIME) and documents per second.
rate() {
  local micro=$((${EPOCHREALTIME/./} - ${1/./}))
  awk -v m="$micro" -v n="$2" 'BEGIN { printf "%6.2f s, %7.1f documents per second", m / 1e6, n * 1e6 / m }'
}

echo "${#documents[@]} documents, $((bytes / 1024)) KB, $(nproc) cores"
start=$EPOCHREALTIME
"$work/prefix/bin/vantrove-batch" "$work/src" "$work/batch" >/dev/null || true
echo "vantrove-batch:        $(rate "$start" "${#documents[@]}")"

mkdir "$work/loop"
start=$EPOCHREALTIME
i=0
for document in "${documents[@]}"; do
  "$work/prefix/bin/vantrove" "$document" "$work/loop/$((i += 1)).tyx" 2>/dev/null || true
done
echo "for loop of vantrove:  $(rate "$start" "${#documents[@]}")"
