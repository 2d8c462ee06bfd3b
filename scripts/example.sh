#!/usr/bin/env bash
# Sets up a Debian machine (missing packages only), builds the four programs
# and the example's objects, then takes the blink example of each device
# down the whole road: library, link with a map, Intel-hex, COD and listing.
# Every output lands in build/example-out/<device>/; the last lines name them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DBUILD_TESTS=OFF
cmake --build build

bin=$root/build
tarvok=$bin/tarvok/src/tarvok
skellan=$bin/skellan/skellan
dorvane=$bin/dorvane/src/dorvane
quessel=$bin/quessel/quessel
out=$root/build/example-out
log=$out/steps.log
rm -rf "$out"
mkdir -p "$out"
: > "$log"

# step NAME COMMAND...: runs one step in the current directory, its output
# kept in the log; a failing step is named and ends the script.
step() {
    local name=$1
    shift
    echo "== $name: $*" >> "$log"
    local rc=0
    "$@" >> "$log" 2>&1 || rc=$?
    if [ $rc -ne 0 ]; then
        echo "FAILED: $name (exit code $rc); see $log" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
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

outputs=()
for device in voq410 voq850; do
    dir=$out/$device
    mkdir -p "$dir"
    cp examples/$device/*.asm examples/$device/*.inc examples/$device/$device.lkr "$dir"/
    cp build/examples/$device/*.o "$dir"/
    cd "$dir"

    step "$device: library" "$quessel" /c blink.lib delay.o
    expect blink.lib
    step "$device: library members" "$quessel" /t blink.lib
    outputs+=("$dir/blink.lib")

    step "$device: link" "$tarvok" $device.lkr main.o util.o blink.lib /m $device.map /o $device.cof
    expect $device.cof $device.map
    outputs+=("$dir/$device.cof" "$dir/$device.map")

    step "$device: Intel hex" "$skellan" $device.cof
    expect $device.hex
    outputs+=("$dir/$device.hex")

    step "$device: COD and listing" "$dorvane" $device.cof
    expect $device.cod $device.lst
    outputs+=("$dir/$device.cod" "$dir/$device.lst")
    cd "$root"
done

echo
echo "Step log: $log"
echo "Outputs:"
for f in "${outputs[@]}"; do
    echo "  $f"
done
