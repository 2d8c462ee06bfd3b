#!/usr/bin/env bash
# Sets up a Debian machine (only the missing packages of cmake, ninja-build
# and g++), builds the four programs and the example's objects, then takes
# the blink example of each device down the whole road: library, link with a
# map, Intel-hex, COD and listing. One line per step on the console (the
# build's shows its progress and time while it runs), each program's own
# output in build/example-out/steps.log; at the end a table of the outputs,
# which land in build/example-out/<device>/, where the programs are, and the
# PATH line that lets the guide's road by hand call them by name.
#
# JOBS=N limits the build to N parallel jobs (without it, Ninja's default).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${JOBS:-}" ]; then
    [[ $JOBS =~ ^[1-9][0-9]*$ ]] || { echo "JOBS must be a whole number from 1 up, not '$JOBS'" >&2; exit 2; }
    export CMAKE_BUILD_PARALLEL_LEVEL=$JOBS
fi
root=$(pwd)
out=$root/build/example-out
log=$out/steps.log
rm -rf "$out"
mkdir -p "$out"
: > "$log"

# step NAME COMMAND...: runs one step in the current directory, prints its
# name and how it went on one line, and keeps its output in the log; a
# failing step ends the script with the end of the log.
step() {
    local name=$1
    shift
    printf '  %-44s ' "$name"
    echo "== $name: $*" >> "$log"
    local rc=0 started=$SECONDS
    "$@" >> "$log" 2>&1 || rc=$?
    if [ $rc -ne 0 ]; then
        echo "FAILED (exit code $rc)"
        echo "The end of $log:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
    echo "done ($((SECONDS - started)) s)"
}

# build_step NAME COMMAND...: a step for a build that prints "[done/total]"
# lines (Ninja's progress): its line shows how far the build has got and the
# seconds so far, updated in place on a terminal, every 20 seconds otherwise.
build_step() {
    local name=$1
    shift
    printf '  %-44s ' "$name"
    echo "== $name: $*" >> "$log"
    local started=$SECONDS rcfile
    rcfile=$(mktemp)
    # The build's exit code goes through a file, as the pipeline's status is
    # the reader's; "|| status=$?" keeps set -e from ending the group before
    # the code is written.
    { status=0; "$@" 2>&1 || status=$?; echo $status > "$rcfile"; } | {
        local shown=0 line
        while IFS= read -r line; do
            echo "$line" >> "$log"
            [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
            local elapsed=$((SECONDS - started))
            if [ -t 1 ]; then
                printf '\r  %-44s %s/%s, %d s ' "$name" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "$elapsed"
            elif [ "$elapsed" -ge $((shown + 20)) ]; then
                shown=$elapsed
                printf '[%s/%s after %d s] ' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "$elapsed"
            fi
        done
    }
    local rc
    rc=$(cat "$rcfile")
    rm -f "$rcfile"
    [ -t 1 ] && printf '\r  %-44s ' "$name"
    if [ "$rc" -ne 0 ]; then
        echo "FAILED (exit code $rc)"
        echo "The end of $log:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
    echo "done ($((SECONDS - started)) s)"
}

# expect FILE...: a step that reported success must have written its files.
expect() {
    for f in "$@"; do
        if [ ! -s "$f" ]; then
            echo "FAILED: $(pwd)/$f was not written" >&2
            exit 1
        fi
    done
}

echo "The example, in $root:"
step "packages (cmake, ninja-build, g++)" bash scripts/setup.sh cmake ninja-build g++
step "configure build/" cmake -S . -B build -G Ninja -DBUILD_TESTS=OFF
build_step "build the four programs and example objects" \
    cmake --build build --target tarvok skellan dorvane quessel example_objects

tarvok=$root/build/tarvok/src/tarvok
skellan=$root/build/skellan/skellan
dorvane=$root/build/dorvane/src/dorvane
quessel=$root/build/quessel/quessel

devices="voq410 voq850 voq240 voqk5"
for device in $devices; do
    dir=$out/$device
    mkdir -p "$dir"
    cp examples/$device/*.asm examples/$device/*.inc examples/$device/$device.lkr "$dir"/
    cp build/examples/$device/*.o "$dir"/
    # The COD converter runs here too: the listing reads the sources by the
    # names the objects give them.
    cd "$dir"
    step "$device: library blink.lib" "$quessel" /c blink.lib delay.o
    expect blink.lib
    step "$device: link" "$tarvok" $device.lkr main.o util.o blink.lib /m $device.map /o $device.cof
    expect $device.cof $device.map
    step "$device: Intel hex" "$skellan" $device.cof
    expect $device.hex
    step "$device: COD file and listing" "$dorvane" $device.cof
    expect $device.cod $device.lst
    cd "$root"
done

rel=${out#"$root"/}
rel_build=build
echo
printf '%-12s %-50s %s\n' "Output" "What it is" "Path (DEVICE is ${devices// /, })"
row() { printf '%-12s %-50s %s\n' "$@"; }
row blink.lib "library holding delay.o" "$rel/DEVICE/blink.lib"
row DEVICE.cof "linked executable (COFF)" "$rel/DEVICE/DEVICE.cof"
row DEVICE.map "map: sections, program memory usage, symbols" "$rel/DEVICE/DEVICE.map"
row DEVICE.hex "Intel-hex programming file (INHX32)" "$rel/DEVICE/DEVICE.hex"
row DEVICE.cod "COD debug file" "$rel/DEVICE/DEVICE.cod"
row DEVICE.lst "listing: each source line with its code" "$rel/DEVICE/DEVICE.lst"
row steps.log "the programs' console output, step by step" "$rel/steps.log"
echo
echo "The four programs are in $rel_build/tarvok/src, $rel_build/skellan, $rel_build/dorvane/src and"
echo "$rel_build/quessel. To run them by name, as the guide's road by hand does:"
echo "  export PATH=\"$root/build/tarvok/src:$root/build/skellan:$root/build/dorvane/src:$root/build/quessel:\$PATH\""
echo "The guide to the programs and their outputs: docs/guide.md"
