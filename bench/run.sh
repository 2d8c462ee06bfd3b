#!/usr/bin/env bash
# Times the four programs on synthetic projects and prints a table.
#
#   bash bench/run.sh [N...]        (default: 500 2000 8000)
#
# Builds the programs in Release (build-bench/), writes a project of N
# modules for each N (benchgen: N objects, four libraries of N/16 members,
# a command file with 2 MB of program memory), then times, with
# /usr/bin/time -v, best of three:
#   quessel  making one library of all N/4 member files,
#   tarvok   linking the N objects and four libraries, with a map file,
#   skellan  the executable to Intel-hex,
#   dorvane  the executable to a COD file and a listing,
# each next to its I/O floor: cat of the same input files, and writing
# files of the same total size as the program's outputs. Program and floor
# run in turn, so both meet the same load of the machine.
# Then the hex converter against srec_cat turning the same 2 MB image
# into Intel-hex (srecord is installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-bench
work=$build/bench-out
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(500 2000 8000)
reps=3

if ! command -v srec_cat > /dev/null; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get install -y srecord > /dev/null
fi
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTS=OFF -DWARNINGS_AS_ERRORS=ON > /dev/null
cmake --build "$build" > /dev/null
tarvok=$build/tarvok/src/tarvok
skellan=$build/skellan/skellan
dorvane=$build/dorvane/src/dorvane
quessel=$build/quessel/quessel
benchgen=$build/bench/benchgen

# timed RESULTVAR COMMAND...: runs the command under /usr/bin/time -v and
# sets RESULTVAR to "seconds kilobytes". A failing command ends the script.
timed() {
    local var=$1
    shift
    local log
    log=$(mktemp)
    if ! /usr/bin/time -v -o "$log" "$@" > /dev/null 2>&1; then
        echo "bench: failed: $*" >&2
        "$@" | tail -n 5 >&2 || true
        exit 1
    fi
    local wall kb
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log" |
        awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.3f", s }')
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
    rm -f "$log"
    printf -v "$var" '%s %s' "$wall" "$kb"
}

# floor LISTFILE OUTBYTES: reads every file named in LISTFILE and writes
# OUTBYTES bytes into one file.
floor() {
    timed FLOOR sh -c 'cat $(cat "$1") > /dev/null && head -c "$2" /dev/zero > floor.out' floor "$1" "$2"
}

# pair NAME LISTFILE OUTFILES COMMAND...: best of $reps for the command and
# for its floor, run in turn; prints one row of the table.
pair() {
    local name=$1 list=$2 outs=$3
    shift 3
    local best=999999 bestkb=0 fbest=999999 r prog fl
    for ((r = 0; r < reps; r++)); do
        timed RESULT "$@"
        prog=($RESULT)
        local bytes=0 f
        for f in $outs; do
            bytes=$((bytes + $(stat -c %s "$f")))
        done
        floor "$list" "$bytes"
        fl=($FLOOR)
        if awk -v a="${prog[0]}" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=${prog[0]}
        fi
        ((prog[1] > bestkb)) && bestkb=${prog[1]}
        if awk -v a="${fl[0]}" -v b="$fbest" 'BEGIN { exit !(a < b) }'; then
            fbest=${fl[0]}
        fi
    done
    rm -f floor.out
    awk -v n="$N" -v p="$name" -v w="$best" -v kb="$bestkb" -v f="$fbest" 'BEGIN {
        ratio = f > 0 ? w / f : 0
        printf "%6s  %-8s %9.2f %9.1f %9.2f %7.2f\n", n, p, w, kb / 1024, f, ratio }'
}

rm -rf "$work"
mkdir -p "$work"
printf "%6s  %-8s %9s %9s %9s %7s\n" N program "wall (s)" "RSS (MB)" "floor (s)" ratio
for N in "${sizes[@]}"; do
    dir=$work/n$N
    "$benchgen" "$N" "$dir"
    cd "$dir"
    cat members0.txt members1.txt members2.txt members3.txt > members.txt
    for l in 0 1 2 3; do
        "$quessel" /q /c lib$l.lib $(cat members$l.txt)
    done
    { cat modules.txt; echo lib0.lib lib1.lib lib2.lib lib3.lib bench.lkr; } > link-inputs.txt
    ls ./*.asm > asm.txt
    { echo bench.cof; cat asm.txt; } > cod-inputs.txt
    echo bench.cof > cof.txt

    pair quessel members.txt all.lib sh -c 'rm -f all.lib && exec "$0" /q /c all.lib $(cat members.txt)' "$quessel"
    pair tarvok link-inputs.txt "bench.cof bench.map" \
        sh -c 'exec "$0" /q bench.lkr $(cat modules.txt) lib0.lib lib1.lib lib2.lib lib3.lib /m bench.map /o bench.cof' \
        "$tarvok"
    pair skellan cof.txt bench.hex "$skellan" /q /a INHX32 bench.cof
    pair dorvane cod-inputs.txt "bench.cod bench.lst" "$dorvane" /q bench.cof
    cd "$root"
done

# The hex converter against srec_cat on the same 2 MB image: the image of
# the largest project's executable, as a binary file for srec_cat.
dir=$work/n${sizes[-1]}
cd "$dir"
"$benchgen" image bench.cof image.bin
echo
printf "%-28s %9s %9s\n" "2 MB image to Intel-hex" "wall (s)" "RSS (MB)"
best=999999
sbest=999999
for ((r = 0; r < reps; r++)); do
    timed RESULT "$skellan" /q /a INHX32 bench.cof
    s=($RESULT)
    timed RESULT srec_cat image.bin -binary -o srec.hex -intel -line-length=43
    c=($RESULT)
    awk -v a="${s[0]}" -v b="$best" 'BEGIN { exit !(a < b) }' && { best=${s[0]}; bkb=${s[1]}; }
    awk -v a="${c[0]}" -v b="$sbest" 'BEGIN { exit !(a < b) }' && { sbest=${c[0]}; skb=${c[1]}; }
done
rm -f srec.hex
awk -v w="$best" -v kb="$bkb" 'BEGIN { printf "%-28s %9.2f %9.1f\n", "skellan", w, kb / 1024 }'
awk -v w="$sbest" -v kb="$skb" 'BEGIN { printf "%-28s %9.2f %9.1f\n", "srec_cat", w, kb / 1024 }'
awk -v a="$best" -v b="$sbest" 'BEGIN { printf "%-28s %9.2f\n", "ratio", (b > 0 ? a / b : 0) }'
