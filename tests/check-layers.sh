#!/bin/sh
# Keeps the program's floors: a file may include headers of its own folder and of the folders on
# the floors below it, never of a floor above nor of another folder on its own floor.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

# Lowest floor first; `x/*` stands for each folder right below x, each a folder of its own.
floors='base
platform
net components
timesync dialup mail
platform/linux
platform/linux/*
app resources
tests
benchmarks'

cd "$root"
find base platform net components timesync dialup mail app resources tests benchmarks \
    -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | sort |
    xargs awk -v floors="$floors" '
        BEGIN {
            n = split(floors, lines, "\n")
            for (i = 1; i <= n; i++) {
                m = split(lines[i], names, " ")
                for (j = 1; j <= m; j++) floor[names[j]] = i
            }
        }
        # The folder a path belongs to, by the longest folder the floors name.
        function unit(dir,    best, name, parent, rest) {
            best = ""
            for (name in floor) {
                if (name ~ /\/\*$/) {
                    parent = substr(name, 1, length(name) - 2)
                    if (index(dir, parent "/") != 1) continue
                    rest = substr(dir, length(parent) + 2)
                    sub(/\/.*/, "", rest)
                    name = parent "/" rest
                } else if (dir != name && index(dir, name "/") != 1) {
                    continue
                }
                if (length(name) > length(best)) best = name
            }
            return best
        }
        function level(u,    parent) {
            if (u in floor) return floor[u]
            parent = u
            sub(/\/[^\/]*$/, "/*", parent)
            return floor[parent]
        }
        FNR == 1 { here = FILENAME; sub(/\/[^\/]*$/, "", here); own = unit(here) }
        /^[ \t]*#[ \t]*include[ \t]*"[^"]*\/[^"]*"/ {
            path = $0; sub(/^[^"]*"/, "", path); sub(/".*$/, "", path)
            dir = path; sub(/\/[^\/]*$/, "", dir)
            other = unit(dir)
            if (other == "" || other == own) next
            if (level(other) >= level(own)) {
                printf "%s:%d: includes %s, on %s floor\n", FILENAME, FNR, path,
                       level(other) == level(own) ? "its own" : "a higher"
                bad = 1
            }
        }
        END { exit bad }
    '
echo "every include points to the floor below"
