#!/bin/sh
# Tests kavlin-inflate: round trips through zlib, and malformed streams that exit 1 with
# their one-line reason.   kavlin_inflate_test.sh KAVLIN_INFLATE ZLIB_RAW WORK_DIR
set -eu
inflate=$1
deflate=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A text and a binary file, at two levels, from a file argument and from standard input.
for f in /usr/share/common-licenses/GPL-3 "$inflate"; do
  for level in 1 9; do
    "$deflate" "$level" < "$f" > "$work/stream"
    "$inflate" "$work/stream" > "$work/out" || fail "decode of $f at level $level"
    cmp -s "$f" "$work/out" || fail "output of $f at level $level differs"
    "$inflate" < "$work/stream" > "$work/out" || fail "decode of $f from standard input"
    cmp -s "$f" "$work/out" || fail "output of $f from standard input differs"
  done
done

# Malformed: exit status 1 and exactly one line naming the fault.
expect_reason() { # bytes (printf escapes), expected text
  printf "$1" > "$work/bad"
  set +e
  "$inflate" "$work/bad" > /dev/null 2> "$work/err"
  status=$?
  set -e
  [ "$status" -eq 1 ] || fail "status $status for $1"
  [ "$(wc -l < "$work/err")" -eq 1 ] || fail "not one line for $1"
  grep -q "$2" "$work/err" || fail "reason for $1: $(cat "$work/err")"
}
expect_reason '\007' 'invalid block type 3'
expect_reason '\001\003\000\375\377abc' 'does not match its complement'
expect_reason '\113\114' 'ends before the final block'
expect_reason '' 'ends before the final block'
expect_reason '\003\003' 'distance reaches before'
"$deflate" 6 < /usr/share/common-licenses/GPL-3 | head -c 5000 > "$work/cut"
set +e
"$inflate" "$work/cut" > /dev/null 2> "$work/err"
status=$?
set -e
[ "$status" -eq 1 ] && grep -q 'ends before the final block' "$work/err" || fail "cut stream"
echo "kavlin-inflate: all checks passed"
