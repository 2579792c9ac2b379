#!/usr/bin/env bash
# Safety cases of the program as a user (or someone else on the machine) meets
# it: temporary files nobody else can plant or read, interrupted runs that
# leave nothing behind, outputs that never destroy the input or a file
# elsewhere, documents above 4 GiB, memory running out, and temporary files
# that cannot be read back.
#
#   safety_test.sh CASE VANTROVE MAKE_STREAM [FAILING_READ_LIBRARY]
set -euo pipefail
case_name=$1
bin=$(realpath "$2")
make_stream=$(realpath "$3")
failing_read=$(realpath "${4:-/dev/null}")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
letter=$source_dir/examples/letter.dca
expected=$source_dir/examples/letter.tyx

work=$(mktemp -d "${TMPDIR:-/tmp}/vantrove-safety.XXXXXX")
chmod 755 "$work"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/kz/kzinit/filters" "$work/home" "$work/tmp"
cp "$source_dir/data/dca.am" "$work/kz/kzinit/filters/"
export KZHOME=$work/kz HOME=$work/home TMPDIR=$work/tmp LC_ALL=C
unset USER
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
expect_status() {  # expected actual what
  [ "$1" = "$2" ] || fail "$3: status $2, expected $1"
}
expect_no_temporary_files() {
  local left
  left=$(ls -A "$TMPDIR")
  [ -z "$left" ] || fail "temporary files left behind: $left"
}
# The program with these signals at their default action, whatever the test
# runner inherited (env then executes the program in its own place, so that
# $! is the program's process id).
default_signals=(env --default-signal=INT,TERM,HUP,PIPE)

case $case_name in
temporary-names)
  # A link to the victim's file and a world-readable stale file at the names
  # the program will pick: the shell predicts them from its own process id,
  # which the program keeps through exec.
  printf 'precious' >victim
  long_tail=$(head -c 100000 /dev/zero | tr '\0' 'X')
  bash -c 'ln -s "$PWD/victim" "$TMPDIR/vantrove.$$.1"
           printf "%s" "$1" >"$TMPDIR/vantrove.$$.2"
           chmod 644 "$TMPDIR/vantrove.$$.2"
           exec "$2" "$3" out.tyx' planted "$long_tail" "$bin" "$letter" 2>err.txt ||
    fail "conversion status $?"
  [ "$(cat victim)" = precious ] || fail "the linked file was written"
  cmp -s out.tyx "$expected" || fail "output differs from the example"
  [ ! -s err.txt ] || fail "unexpected diagnostics: $(cat err.txt)"
  # Only the two planted names are left, the stale file unchanged.
  [ "$(ls -A "$TMPDIR" | wc -l)" = 2 ] || fail "left: $(ls -A "$TMPDIR")"
  stale=$(find "$TMPDIR" -type f)
  [ "$(cat "$stale")" = "$long_tail" ] || fail "the stale file was changed"
  # The program's own files were private while they existed.
  rm -f "$TMPDIR"/*
  mkfifo input
  "$bin" input out2.tyx 2>/dev/null &
  pid=$!
  exec 3>input
  for _ in $(seq 100); do [ "$(ls -A "$TMPDIR" | wc -l)" = 2 ] && break; sleep 0.05; done
  modes=$(stat -c %a "$TMPDIR"/*)
  cat "$letter" >&3
  exec 3>&-
  wait "$pid"
  [ "$modes" = "600
600" ] || fail "temporary file modes: $modes"
  expect_no_temporary_files
  # A folder whose every name is taken (the counter goes up to 64): the files
  # go to the next folder, and the planted ones stay as they were.
  bash -c 'for n in $(seq 64); do : >"$TMPDIR/vantrove.$$.$n"; done
           exec "$1" "$2" out3.tyx' planted "$bin" "$letter" 2>err.txt || fail "conversion status $?"
  cmp -s out3.tyx "$expected" || fail "full folder: output differs from the example"
  [ ! -s err.txt ] || fail "full folder: unexpected diagnostics: $(cat err.txt)"
  [ "$(find "$TMPDIR" -type f -empty | wc -l)" = 64 ] || fail "full folder: left $(ls -A "$TMPDIR")"
  rm -f "$TMPDIR"/*
  ;;

signals)
  # Half a document through a pipe: the program waits for the rest with both
  # temporary files and the output file made, and is stopped by each signal.
  set -m  # background jobs keep SIGINT at its default action
  head -c 300 "$letter" >half.dca
  for signal in INT TERM HUP; do
    mkfifo input
    "${default_signals[@]}" "$bin" input out.tyx 2>/dev/null &
    pid=$!
    exec 3>input
    cat half.dca >&3
    for _ in $(seq 100); do
      [ -e out.tyx ] && [ "$(ls -A "$TMPDIR" | wc -l)" = 2 ] && break
      sleep 0.05
    done
    [ -e out.tyx ] || fail "SIG$signal: the output was never opened"
    kill -s "$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    exec 3>&-
    expect_status $((128 + $(kill -l "$signal"))) "$status" "SIG$signal"
    expect_no_temporary_files
    [ ! -e out.tyx ] || fail "SIG$signal: the partial output is left"
    rm -f input
  done
  # An existing output file is not the run's to remove: it stays, emptied.
  mkfifo input
  printf 'old' >kept.tyx
  "${default_signals[@]}" "$bin" input kept.tyx 2>/dev/null &
  pid=$!
  exec 3>input
  cat half.dca >&3
  for _ in $(seq 100); do [ "$(ls -A "$TMPDIR" | wc -l)" = 2 ] && break; sleep 0.05; done
  kill -s TERM "$pid"
  wait "$pid" || true
  exec 3>&-
  [ -e kept.tyx ] || fail "an existing output file was removed"
  expect_no_temporary_files
  # A reader that stops early: the writer ends by SIGPIPE, leaving nothing.
  "$make_stream" text 2 >big.dca
  set +o pipefail
  "${default_signals[@]}" "$bin" big.dca | head -c 100 >/dev/null
  status=${PIPESTATUS[0]}
  set -o pipefail
  expect_status 141 "$status" "SIGPIPE"
  expect_no_temporary_files
  ;;

outputs)
  # Same file, also through a second name: nothing written, status 1.
  cp "$letter" doc.dca
  ln doc.dca alias.dca
  for output in doc.dca alias.dca; do
    status=0
    "$bin" doc.dca "$output" 2>err.txt || status=$?
    expect_status 1 "$status" "same file"
    [ "$(cat err.txt)" = "vantrove: Input and output are the same file." ] ||
      fail "same file: $(cat err.txt)"
    cmp -s doc.dca "$letter" || fail "the input was changed"
  done
  expect_no_temporary_files
  # An output that cannot be made under its own name is never written in
  # $HOME instead; the error is that of its own open.
  mkdir -p "$HOME/sub"
  printf 'notes' >"$HOME/sub/notes.txt"
  "$bin" "$letter" sub/notes.txt >/dev/null 2>err.txt
  [ "$(cat "$HOME/sub/notes.txt")" = notes ] || fail "\$HOME/sub/notes.txt was overwritten"
  [ "$(head -n 1 err.txt)" = "vantrove: Byte 00: No such file or directory" ] ||
    fail "missing folder: $(head -n 1 err.txt)"
  # In a folder the user cannot write (checked as an unprivileged user when
  # the test runs as root, who may write anywhere).
  mkdir -p ro/bin
  cp "$bin" ro/bin/vantrove
  cp "$letter" ro/letter.dca
  printf 'notes' >"$HOME/notes.txt"
  chmod 755 "$HOME"
  chmod 666 "$HOME/notes.txt"
  chmod 555 ro
  as_user=()
  [ "$(id -u)" != 0 ] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  (cd ro && "${as_user[@]}" env TMPDIR=/tmp "$work/ro/bin/vantrove" letter.dca notes.txt) \
    >/dev/null 2>err.txt || true
  [ "$(cat "$HOME/notes.txt")" = notes ] || fail "\$HOME/notes.txt was overwritten"
  [ "$(head -n 1 err.txt)" = "vantrove: Byte 00: Permission denied" ] ||
    fail "read-only folder: $(cat err.txt)"
  [ ! -e ro/notes.txt ] || fail "an output appeared in the read-only folder"
  # Input that is no DCA at all, and a font map that fails: no temporary
  # files, no output file made by the run.
  printf 'plain text, not a document' >plain.txt
  status=0
  "$bin" plain.txt out.tyx 2>err.txt || status=$?
  expect_status 1 "$status" "not DCA"
  [ "$(cat err.txt)" = "vantrove: Byte 00: Not a DCA file." ] || fail "not DCA: $(cat err.txt)"
  [ ! -e out.tyx ] || fail "not DCA: an output file is left"
  expect_no_temporary_files
  status=0
  KZHOME=$work/nowhere "$bin" "$letter" out.tyx 2>/dev/null || status=$?
  expect_status 1 "$status" "no font map"
  [ ! -e out.tyx ] || fail "no font map: an output file is left"
  ;;

above-4gib)
  # More than 4 GiB through a pipe (no disk needed for the input): offsets
  # beyond 32 bits must neither wrap nor end the conversion early.
  status=0
  "$make_stream" huge 4200 2>offset.txt | "$bin" >out.tyx 2>err.txt || status=$?
  expect_status 0 "$status" "conversion"
  offset=$(cat offset.txt)
  [ "$offset" -gt 4294967295 ] || fail "the document is not above 4 GiB"
  expected_err=$(printf 'vantrove: Byte 0%o: Unknown single-byte control 0x1.' "$offset")
  [ "$(cat err.txt)" = "$expected_err" ] || fail "diagnostics: $(head -c 500 err.txt)"
  tail -c 200 out.tyx | grep -q '<String `END' || fail "the end of the document is missing"
  [ "$(tail -n 1 out.tyx)" = "> # End TextFlow" ] || fail "the output is not complete"
  expect_no_temporary_files
  ;;

memory-full)
  # Hundreds of thousands of paragraph formats fill the memory the program
  # may have a little at a time, so that nothing is left when it runs out;
  # the "Memory is full." document must still be written. Several limits, as
  # where memory runs out depends on how much the program needs to start.
  "$make_stream" formats 20 >formats.dca
  full=0
  for limit in 50000 60000 70000 80000; do
    status=0
    (ulimit -v $limit && exec "$bin" formats.dca out.tyx 2>err.txt) || status=$?
    expect_status 0 "$status" "conversion in $limit KiB"
    expect_no_temporary_files
    [ "$(tail -n 1 out.tyx)" = "> # End TextFlow" ] || fail "$limit KiB: the output is not complete"
    [ -s err.txt ] || continue
    grep -qx 'vantrove: Byte 0[0-7]*: Memory is full\.' err.txt || fail "diagnostics: $(cat err.txt)"
    grep -q 'vantrove could not complete\.' out.tyx || fail "$limit KiB: no fatal paragraph"
    full=$((full + 1))
  done
  [ "$full" -gt 0 ] || fail "memory never ran out"
  ;;

splice-read-error)
  # The temporary files cannot be read back: an error, not a short document,
  # whichever way they are read first. The sample letter's are small and go
  # through the C library's buffers (fread). A document of 1 MiB has a body
  # that the kernel copies, into a regular file by copy_file_range and into a
  # pipe by sendfile, and that the C library reads once the kernel's copy
  # failed; only its body file fails (the footnote file is empty), whose name
  # the shell predicts from its own process id, which the program keeps
  # through exec.
  "$make_stream" text 1 >big.dca
  for run in "letter file fread" "letter pipe fread" "big.dca file copy_file_range" \
    "big.dca pipe sendfile"; do
    read -r document output first <<<"$run"
    failing=$TMPDIR/vantrove.
    if [ "$document" = letter ]; then
      document=$letter
    else
      failing=$TMPDIR/vantrove.PID.1
    fi
    rm -f failed.txt out.tyx
    arguments=("$document")
    [ "$output" = pipe ] || arguments+=(out.tyx)
    status=0
    { LD_PRELOAD=$failing_read FAILING_READ_LOG=$work/failed.txt \
      bash -c 'export FAILING_READ_PREFIX=${1/PID/$$}; shift; exec "$@"' run "$failing" \
        "$bin" "${arguments[@]}" 2>err.txt || status=$?
      echo "$status" >status.txt; } | cat >stdout.txt
    status=$(cat status.txt)
    expect_status 1 "$status" "$run: conversion"
    [ "$(cat err.txt)" = "vantrove: Unable to read temporary file: Bad file descriptor
vantrove: The output document could not be completed." ] || fail "$run: diagnostics: $(cat err.txt)"
    [ "$(head -n 1 failed.txt 2>/dev/null)" = "$first" ] ||
      fail "$run: a temporary file was first read by '$(head -n 1 failed.txt 2>/dev/null)'"
    if [ "$output" = file ]; then
      [ ! -e out.tyx ] || fail "$run: the incomplete output is left"
    else
      [ "$(tail -n 1 stdout.txt)" != "> # End TextFlow" ] || fail "$run: the document was completed"
    fi
    expect_no_temporary_files
  done
  ;;

splice-outputs)
  # The temporary files reach the output whole whatever the output is: a new
  # file, the standard output as a file, a file opened for appending (which
  # the kernel's copy refuses), a pipe, /dev/null, and with the temporary
  # files on another file system (tmpfs, where the kernel may refuse to copy
  # between the two), for the sample letter and for a document of 3 MiB.
  "$make_stream" text 3 >big.dca
  other_tmp=
  for dir in /dev/shm /run/shm; do
    if [ -d "$dir" ] && [ -w "$dir" ] && [ "$(stat -f -c %T "$dir")" != "$(stat -f -c %T "$work")" ]; then
      other_tmp=$(mktemp -d "$dir/vantrove-safety.XXXXXX")
      break
    fi
  done
  for document in "$letter" big.dca; do
    rm -f out*.tyx
    "$bin" "$document" out.tyx 2>err.txt || fail "file: status $?"
    [ ! -s err.txt ] || fail "file: diagnostics: $(cat err.txt)"
    if [ "$document" = "$letter" ]; then
      cmp -s out.tyx "$expected" || fail "file: output differs from the example"
    fi
    "$bin" "$document" >out-stdout.tyx || fail "standard output: status $?"
    cmp -s out.tyx out-stdout.tyx || fail "standard output: the output differs"
    printf 'kept\n' >out-append.tyx
    "$bin" "$document" >>out-append.tyx || fail "appending: status $?"
    { printf 'kept\n'; cat out.tyx; } | cmp -s - out-append.tyx || fail "appending: the output differs"
    "$bin" "$document" | cat >out-pipe.tyx
    [ "${PIPESTATUS[0]}" = 0 ] || fail "pipe: status ${PIPESTATUS[0]}"
    cmp -s out.tyx out-pipe.tyx || fail "pipe: the output differs"
    "$bin" "$document" /dev/null || fail "/dev/null: status $?"
    if [ -n "$other_tmp" ]; then
      TMPDIR=$other_tmp "$bin" "$document" out-other.tyx || fail "other file system: status $?"
      cmp -s out.tyx out-other.tyx || fail "other file system: the output differs"
      TMPDIR=$other_tmp "$bin" "$document" | cat >out-other-pipe.tyx
      cmp -s out.tyx out-other-pipe.tyx || fail "other file system, pipe: the output differs"
      [ -z "$(ls -A "$other_tmp")" ] || fail "temporary files left in $other_tmp"
    fi
    expect_no_temporary_files
  done
  [ -z "$other_tmp" ] || rmdir "$other_tmp"
  ;;

*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS $case_name"
