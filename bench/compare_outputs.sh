#!/usr/bin/env bash
# Usage: bench/compare_outputs.sh OLD_VANTROVE NEW_VANTROVE [count]
# Runs both programs on the same documents and compares their standard output,
# standard error, exit status and output file byte for byte: every
# examples/*.dca, the input of every vantrove case of tests/cases (with the
# case's arguments, environment and program name), the shared regression
# documents (../shared/regressions, with their own font map), `count` (default
# 1000) documents of browser_docs and a few of make_stream. Prints each
# difference, then how many documents were compared and how many differed;
# the exit status is 1 when any differed.
#
# The tools come from $BUILD (default: the build folder, tests configured).
# KZHOME holds kzinit/filters/dca.am (default: a scratch copy of data/dca.am).
set -u
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 OLD_VANTROVE NEW_VANTROVE [count]" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$repo/build}
declare -A program=([old]=$(realpath -m "$1") [new]=$(realpath -m "$2"))
count=${3:-1000}
for tool in "${program[@]}" "$build"/tests/{case_inputs,browser_docs,make_stream}; do
  [ -x "$tool" ] || { echo "not an executable file: $tool" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/vantrove-compare.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{bin,run,home,cases,docs,kz/kzinit/filters,regressions/kzinit/filters}
if [ -z "${KZHOME:-}" ]; then
  KZHOME=$work/kz
  cp "$repo/data/dca.am" "$KZHOME/kzinit/filters/"
fi

compared=0 differed=0
# compare NAME STDIN PROGRAM_NAME [VAR=VALUE]... -- ARG...: one run of each
# program, through the same link, in an empty folder; `VAR=` removes VAR.
compare() {
  local name=$1 input=$2 link=$3 side part what="" env=()
  local -A vars=([HOME]=$work/home [TMPDIR]=$work/tmp [KZHOME]=$KZHOME [LC_ALL]=C)
  shift 3
  while [ "$1" != -- ]; do vars[${1%%=*}]=${1#*=} && shift; done
  shift
  for part in "${!vars[@]}"; do
    if [ -n "${vars[$part]}" ]; then env+=("$part=${vars[$part]}"); else env=(-u "$part" "${env[@]}"); fi
  done
  for side in old new; do
    ln -sfn "${program[$side]}" "$work/bin/$link"
    rm -rf "$work/tmp" "$work/out.tyx" && mkdir "$work/tmp"
    (cd "$work/run" && env "${env[@]}" timeout 120 "$work/bin/$link" "$@" \
      <"$input" >"$work/$side.stdout" 2>"$work/$side.stderr")
    echo "exit $?" >"$work/$side.status"
    mv "$work/out.tyx" "$work/$side.file" 2>/dev/null || echo "(none)" >"$work/$side.file"
  done
  for part in stdout stderr status file; do
    cmp -s "$work/old.$part" "$work/new.$part" || what+=" $part"
  done
  compared=$((compared + 1))
  if [ -n "$what" ]; then
    differed=$((differed + 1))
    echo "DIFFERS $name:$what"
  fi
}
group() { echo "$1: $((compared - before)) documents" && before=$compared; }
before=0

for dca in "$repo"/examples/*.dca; do
  compare "examples/$(basename "$dca")" /dev/null vantrove -- "$dca"
done
group examples

# Each case as tests/cases_test.cpp runs it: $IN names the input file (else
# it is the standard input), $OUT an output file, $SOURCE/ the source tree,
# $SCRATCH the case's folder of files.
"$build/tests/case_inputs" "$repo/tests/cases" "$work/cases" || exit 2
for dca in "$work"/cases/*.dca; do
  name=$(basename "$dca" .dca)
  case=$repo/tests/cases/$name.case input=$dca env=()
  read -ra args <<<"$(sed -n '/^--- /q; s/^args //p' "$case")"
  for i in "${!args[@]}"; do
    case ${args[$i]} in
      '$IN') args[$i]=$dca input=/dev/null ;;
      '$OUT') args[$i]=$work/out.tyx ;;
      '$SOURCE/'*) args[$i]=$repo/${args[$i]#\$SOURCE/} ;;
    esac
  done
  while read -r variable; do
    env+=("${variable/=\$SCRATCH/=$work/cases/$name}")
  done < <(sed -n '/^--- /q; s/^env \(.*=.*\)/\1/p' "$case")
  link=$(sed -n '/^--- /q; s/^program //p' "$case")
  compare "cases/$name" "$input" "${link:-vantrove}" "${env[@]}" -- "${args[@]}"
done
group cases

# As their own runner does: a named output file, their font map.
regressions=$repo/../shared/regressions
cp "$regressions/dca.am" "$work/regressions/kzinit/filters/" 2>/dev/null ||
  echo "no regression documents in $regressions"
for dca in "$regressions"/*.dca; do
  [ -e "$dca" ] || continue
  compare "regressions/$(basename "$dca")" /dev/null vantrove KZHOME="$work/regressions" \
    -- "$dca" "$work/out.tyx"
done
group regressions

"$build/tests/browser_docs" "$work/docs" "$count" || exit 2
for ((n = 0; n < count; n++)); do
  compare "browser_docs/$n.dca" /dev/null vantrove -- "$work/docs/$n.dca"
done
group browser_docs

for stream in "huge 4" "line 4" "text 8" "formats 4"; do
  "$build/tests/make_stream" $stream >"$work/docs/stream.dca" 2>/dev/null || exit 2
  compare "make_stream $stream" /dev/null vantrove -- "$work/docs/stream.dca"
done
group make_stream

echo "$compared documents compared, $differed differed"
[ "$differed" -eq 0 ]
