#!/bin/sh
# usage: run-fuzzer.sh BUILD_DIR NAME SECONDS
# Builds the fuzz targets with clang (incrementally, in BUILD_DIR) and runs NAME for SECONDS on a
# copy of its seed corpus. A crash, a leak or a sanitizer finding fails the test; the input that
# caused it is kept in BUILD_DIR/NAME-findings.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$1 NAME=$2 SECONDS_=$3
command -v clang++ >/dev/null || { echo "skipped: clang++ is not installed"; exit 77; }
[ -f "$BUILD/build.ninja" ] || cmake -S "$HERE" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >"$BUILD.configure.log" 2>&1 ||
    { cat "$BUILD.configure.log" >&2; exit 1; }
cmake --build "$BUILD" --target "$NAME" >"$BUILD/$NAME.build.log" 2>&1 || { cat "$BUILD/$NAME.build.log" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$HERE/corpus/$NAME/." "$work/" 2>/dev/null || true
mkdir -p "$BUILD/$NAME-findings"
# Qt's warnings for odd inputs are expected here, not findings.
QT_LOGGING_RULES='*=false' "$BUILD/$NAME" -max_total_time="$SECONDS_" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$BUILD/$NAME-findings/" -print_final_stats=1 "$work" 2>"$BUILD/$NAME.log" ||
    { tail -n 60 "$BUILD/$NAME.log" >&2; exit 1; }
grep -E '^(stat::number_of_executed_units|#[0-9]+.*DONE)' "$BUILD/$NAME.log" | tail -n 2
