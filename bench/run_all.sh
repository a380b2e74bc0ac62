#!/usr/bin/env bash
# Runs every benchmark program in one folder and writes their output as
# Markdown (RESULTS.md), a bar chart (chart.png), the summary table the README
# shows (summary.md) and the figures behind them (figures.tsv).
#
#   bench/run_all.sh [folder] [--tiny] [--reps N] [--out DIR] [--bin DIR] [--ceiling MBPS]
#   bench/run_all.sh --fast-device [--tiny] [--reps N] [--out DIR] [--bin DIR]
#
# folder     where the test files go, on the disk to be measured (default: the build folder).
# --tiny     tiny sizes, one run each: seconds, a smoke test that does not judge speed.
# --reps     runs of each measurement (default 5; 1 with --tiny).
# --out      where results go (default bench/results, or bench/results/tmp with --tiny).
# --bin      where the built programs are (default: build them in build-bench).
# --ceiling  as root, only the drive test and fio direct, at every size, with the
#            folder's disk throttled to MBPS (1 MB = 1,000,000 bytes) by a cgroup
#            (v1 blkio or v2 io); figures as ratios to MBPS, in ceiling-MBPS.txt.
# --fast-device  as root, on a RAM-backed device made for the run (a file in a
#            tmpfs, attached to a loop device, ext4) and removed afterwards: the
#            100 MB drive test and a 1 GB file test against fio direct in the
#            engine's largest request, one at a time; ratios and CPU seconds per
#            GB; and the dialog's drive test intervals against the engine's
#            alone, in fast-device/.
# Exits 77 (skipped) when fio or gnuplot is missing, --ceiling cannot throttle,
# or --fast-device cannot make its device.
set -euo pipefail

args_text="$*"
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
folder="" tiny=0 reps="" out="" bin="" ceiling= fast=0
while [ $# -gt 0 ]; do
    case "$1" in
    --tiny) tiny=1 ;;
    --reps) reps=${2:?--reps needs a number}; shift ;;
    --out) out=${2:?--out needs a folder}; shift ;;
    --bin) bin=${2:?--bin needs a folder}; shift ;;
    --ceiling) ceiling=${2:?--ceiling needs a rate in MB/s}; shift ;;
    --fast-device) fast=1 ;;
    -*) echo "run_all.sh: unknown option $1" >&2; exit 2 ;;
    *) folder=$1 ;;
    esac
    shift
done

fail() { echo "run_all.sh: $*" >&2; exit 1; }
skip() { echo "run_all.sh: skipped: $*" >&2; exit 77; }

command -v fio >/dev/null || skip "fio is not installed; the benchmarks measure against it (apt-get install fio)"
if [ $fast = 1 ]; then
    [ "$(id -u)" = 0 ] || skip "making a loop device needs root"
    command -v losetup >/dev/null && command -v mkfs.ext4 >/dev/null ||
        skip "needs losetup and mkfs.ext4 (apt-get install mount e2fsprogs)"
fi
[ -n "$ceiling" ] || [ $fast = 1 ] || command -v gnuplot >/dev/null ||
    skip "gnuplot is not installed; it draws the chart (apt-get install gnuplot-nox)"
if [ -n "$ceiling" ]; then
    awk -v c="$ceiling" 'BEGIN { exit !(c ~ /^[0-9]+(\.[0-9]+)?$/ && c > 0) }' ||
        { echo "run_all.sh: --ceiling needs a rate in MB/s, not $ceiling" >&2; exit 2; }
    [ "$(id -u)" = 0 ] || skip "throttling the disk needs root"
    if [ -e /sys/fs/cgroup/blkio/blkio.throttle.read_bps_device ]; then
        cgroot=/sys/fs/cgroup/blkio
    elif grep -qw io /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
        cgroot=/sys/fs/cgroup
    else
        skip "this machine has neither the blkio (cgroup v1) nor the io (cgroup v2) controller"
    fi
fi

[ -n "$out" ] || out=$repo/bench/results$([ $tiny = 0 ] || echo /tmp)
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ -z "$bin" ]; then
    cmake -S "$repo" -B "$repo/build-bench" -DCMAKE_BUILD_TYPE=Release -DSARNOVAL_BUILD_BENCH=ON >/dev/null
    cmake --build "$repo/build-bench" -j2 --target bench_programs
    bin=$repo/build-bench/bench
fi
programs=(bench_drive bench_file bench_engine_cost)
[ ! -x "$bin/bench_dialog" ] || programs+=(bench_dialog)
[ $fast = 0 ] || programs=(bench_fast)
for p in "${programs[@]}"; do
    [ -x "$bin/$p" ] || fail "$bin/$p is missing: build the benchmarks first"
done

cgroup="" scratch="" loop="" hugepages=""
cleanup() {
    [ -z "$hugepages" ] || echo "$hugepages" >/proc/sys/vm/nr_hugepages
    [ -z "$cgroup" ] || rmdir "$cgroup" || echo "run_all.sh: could not remove $cgroup" >&2
    [ -z "$folder" ] || rm -f "$folder"/sarnoval-bench-* "$folder"/SarnovalTemp.TMP "$folder"/SarnovalTemp2.TMP
    if [ -n "$scratch" ]; then
        ! mountpoint -q "$scratch/mnt" || umount "$scratch/mnt"
        [ -z "$loop" ] || losetup -d "$loop"
        ! mountpoint -q "$scratch/ram" || umount "$scratch/ram"
        rm -rf "$scratch"
    fi
}
trap cleanup EXIT

if [ $fast = 1 ]; then
    # The device: a file in RAM, on a loop device, ext4, inode tables written now.
    scratch=$(mktemp -d /tmp/sarnoval-fast.XXXXXX)
    mkdir "$scratch/ram" "$scratch/mnt"
    mount -t tmpfs -o size=1700m tmpfs "$scratch/ram" || skip "cannot mount a tmpfs"
    truncate -s 1600M "$scratch/ram/disk.img"
    loop=$(losetup --find --show "$scratch/ram/disk.img") || skip "cannot attach a loop device"
    mkfs.ext4 -q -E lazy_itable_init=0,lazy_journal_init=0 "$loop" || fail "mkfs.ext4 $loop failed"
    mount "$loop" "$scratch/mnt" || fail "cannot mount $loop"
    folder=$scratch/mnt
    # fio's like-for-like buffers come from huge pages, as the engine's do:
    # reserved for the run, given back after.
    hugepages=$(cat /proc/sys/vm/nr_hugepages)
    [ "$hugepages" -ge 64 ] || echo 64 >/proc/sys/vm/nr_hugepages || skip "cannot reserve huge pages"
fi
folder=${folder:-$bin}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

# A root that is no mount point of its own (a plain chroot) has no answer.
storage=$(findmnt -n -o FSTYPE,SOURCE,TARGET -T "$folder" 2>/dev/null | awk '{ printf "%s on %s (mounted at %s)", $1, $2, $3 }' || true)
storage=${storage:-unknown}
machine="$(sed -n 's/^model name[^:]*: *//p' /proc/cpuinfo | head -1), $(nproc) logical CPUs,\
 $(awk '/^MemTotal:/ { printf "%.1f GiB RAM", $2 / 1048576 }' /proc/meminfo); $(uname -srm)"
date=$(date -u '+%Y-%m-%d %H:%M UTC')
reps=${reps:-$([ $tiny = 1 ] && echo 1 || echo 5)}
header() {
    echo "Machine: $machine"
    echo "Folder:  $folder ($storage)"
    echo "Date:    $date; load average: $(cat /proc/loadavg)"
    echo "Runs:    $reps of each, interleaved$([ $tiny = 0 ] || echo '; tiny: sizes too small to mean anything')"
    echo
}

mode=(--folder "$folder" --reps "$reps")
[ $tiny = 0 ] || mode+=(--tiny)

if [ -n "$ceiling" ]; then
    # The throttle applies to a whole disk: a partition's disk is its parent in sysfs.
    dev=$(stat -c '%Hd:%Ld' "$folder")
    [ -e "/sys/dev/block/$dev" ] || skip "$folder is not on a block device (device $dev)"
    [ ! -e "/sys/dev/block/$dev/partition" ] || dev=$(cat "/sys/dev/block/$dev/../dev")
    bps=$(awk -v c="$ceiling" 'BEGIN { printf "%.0f", c * 1e6 }')
    [ "$cgroot" = /sys/fs/cgroup/blkio ] || grep -qw io "$cgroot/cgroup.subtree_control" ||
        echo +io >"$cgroot/cgroup.subtree_control" || skip "cannot enable the io controller"
    mkdir "$cgroot/sarnoval-bench-$$" || skip "cannot make a cgroup in $cgroot"
    cgroup=$cgroot/sarnoval-bench-$$
    if [ "$cgroot" = /sys/fs/cgroup/blkio ]; then
        echo "$dev $bps" >"$cgroup/blkio.throttle.read_bps_device"
        echo "$dev $bps" >"$cgroup/blkio.throttle.write_bps_device"
    else
        echo "$dev rbps=$bps wbps=$bps" >"$cgroup/io.max"
    fi
    echo "== bench_drive, disk $dev throttled to $ceiling MB/s by $cgroup" >&2
    header >"$out/ceiling-$ceiling.txt"
    # Joins the cgroup, then becomes the program: everything it starts is throttled too.
    set +e
    sh -c 'echo $$ >"$1/cgroup.procs" && shift && exec "$@"' sh "$cgroup" \
        "$bin/bench_drive" "${mode[@]}" --ceiling "$ceiling" | tee -a "$out/ceiling-$ceiling.txt"
    exit "${PIPESTATUS[0]}"
fi

if [ $fast = 1 ]; then
    out=$out/fast-device
    mkdir -p "$out"
    rm -f "$out/figures.tsv"
    echo "| Measure | Sarnoval | fio like for like | Ratio | fio, default buffers | fio, io_uring QD32 | CPU s per GB, Sarnoval / fio like for like |" >"$out/summary.md"
    echo "|---|---:|---:|---:|---:|---:|---|" >>"$out/summary.md"
    echo "== bench_fast on $loop, a RAM-backed loop device" >&2
    set +e
    { header; "$bin/bench_fast" "${mode[@]}" --out "$out"; } | tee "$out/bench_fast.txt"
    status=${PIPESTATUS[0]}
    if [ -x "$bin/bench_dialog" ]; then
        # The dialog's intervals against the engine's alone, on a real X
        # server when there is one to start.
        run=("$bin/bench_dialog" "${mode[@]}" --out "$out" --intervals)
        if [ $tiny = 0 ] && command -v xvfb-run >/dev/null; then
            run=(env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
        else
            run=(env QT_QPA_PLATFORM=offscreen "${run[@]}")
        fi
        { header; "${run[@]}"; } | tee "$out/bench_dialog.txt"
        [ "${PIPESTATUS[0]}" = 0 ] || status=1
    fi
    cat "$out/summary.md"
    exit "$status"
fi

rm -f "$out/figures.tsv"
echo "| Measure | Sarnoval | Reference | Ratio | Target |" >"$out/summary.md"
echo "|---|---:|---:|---:|---|" >>"$out/summary.md"
failed=()
for p in "${programs[@]}"; do
    echo "== $p" >&2
    run=("$bin/$p" "${mode[@]}" --out "$out")
    # A real X server when there is one to start, else Qt's offscreen platform.
    if [ $p = bench_dialog ] && [ $tiny = 0 ] && command -v xvfb-run >/dev/null; then
        run=(env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
    elif [ $p = bench_dialog ]; then
        run=(env QT_QPA_PLATFORM=offscreen "${run[@]}")
    fi
    set +e
    { header; "${run[@]}"; } | tee "$out/$p.txt"
    status=${PIPESTATUS[0]}
    set -e
    [ "$status" = 0 ] || failed+=("$p (exit $status)")
done

# Chart: the drive test's write and read, side by side with fio.
figure() { awk -F'\t' -v k="$1" '$1 == k { v = $2 } END { print (v == "" ? "NaN" : v) }' "$out/figures.tsv"; }
for phase in write read; do
    echo $phase $(for s in line direct same cache; do figure drive.$phase.$s; done)
done >"$out/chart.dat"
gnuplot <<EOF || failed+=("gnuplot")
set terminal pngcairo size 1000,600 font "sans,10" noenhanced
set output "$out/chart.png"
set title "Drive test, $(figure drive.bytes | awk '{ printf "%d MB", $1 / 1e6 }'): medians of $(figure drive.reps | awk '{ printf "%d", $1 }') runs each, MB/s (1 MB = 1,000,000 bytes)\n$machine\n$date"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set key outside below horizontal
set ylabel "MB/s"
set yrange [0:*]
set xrange [-0.6:1.6]
set grid ytics
set offsets 0, 0, graph 0.08, 0
plot "$out/chart.dat" using 2:xtic(1) title "Sarnoval (result line)" lc rgb "#1f77b4", \
     "" using 3 title "fio --direct=1" lc rgb "#2ca02c", \
     "" using 4 title "fio, buffered like Sarnoval" lc rgb "#98df8a", \
     "" using 5 title "cache-hitting (fio buffered, no flush or eviction)" lc rgb "#d62728", \
     for [i=2:5] "" using (\$0 + 0.2 * i - 0.7):i:(sprintf("%.0f", column(i))) with labels offset 0,0.7 notitle
EOF

command="bench/run_all.sh${args_text:+ $args_text}"
{
    echo "# Benchmark results"
    echo
    echo "Written by \`$command\`. Machine: $machine. Folder: $storage. Date: $date."
    echo
    cat "$out/summary.md"
    echo
    echo "![Drive test against fio](chart.png)"
    for p in "${programs[@]}"; do
        printf '\n## %s\n\n```\n' "$p"
        cat "$out/$p.txt"
        echo '```'
    done
} >"$out/RESULTS.md"

if [ ${#failed[@]} -gt 0 ]; then
    printf 'run_all.sh: FAILED: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "run_all.sh: results in $out/RESULTS.md and $out/chart.png" >&2
