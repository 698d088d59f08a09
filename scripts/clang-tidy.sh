#!/bin/sh
# usage: clang-tidy.sh BUILD_DIR
# Runs clang-tidy with the checked-in .clang-tidy over the program's own sources (not the tests,
# the benchmarks nor generated code), two files at a time; any finding fails.
set -eu
BUILD=$(cd "$1" && pwd)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
exec run-clang-tidy -quiet -j 2 -p "$BUILD" \
    "^$ROOT/(app|base|components|dialup|mail|net|platform|resources|timesync)/.*\.(c|cpp)$"
