#!/usr/bin/env bash
# Runs every benchmark program in one folder and writes their tables as
# Markdown (RESULTS.md), a bar chart (chart.png) and the summary table the
# README shows (summary.md).
#
#   bench/run_all.sh [folder] [--tiny] [--reps N] [--out DIR] [--bin DIR] [--expect-dialog]
#   bench/run_all.sh [folder] --ceiling MBPS [--tiny] [--reps N] [--out DIR] [--bin DIR]
#
# folder   where the test files go; use one on the disk to be measured, not a
#          memory filesystem. Default: a fresh folder under the build directory,
#          removed afterwards. Only the programs' own files are made in it.
# --tiny   tiny sizes and one run each: seconds, for CI. Speed is not judged;
#          a program that fails or gives no figures makes the script fail.
# --reps   runs of each measurement (default 5; 1 with --tiny).
# --out    where results go (default bench/results, or bench/results/tmp with --tiny).
# --bin    where the built programs are (default: build them in build-bench).
# --expect-dialog  fail if the dialog benchmark was not built.
# --ceiling  only the drive test and fio direct, at every size, with the folder's
#          disk throttled to MBPS (1 MB = 1,000,000 bytes) by a cgroup for their
#          runs; figures as ratios to MBPS, in ceiling-MBPS.txt. Needs root and a
#          blkio (cgroup v1) or io (cgroup v2) controller; else exits 77, skipped.
set -euo pipefail

args_text="$*"
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
folder="" tiny=0 reps="" out="" bin="" expect_dialog=0 ceiling=
while [ $# -gt 0 ]; do
    case "$1" in
    --tiny) tiny=1 ;;
    --reps) reps=${2:?--reps needs a number}; shift ;;
    --out) out=${2:?--out needs a folder}; shift ;;
    --bin) bin=${2:?--bin needs a folder}; shift ;;
    --expect-dialog) expect_dialog=1 ;;
    --ceiling) ceiling=${2:?--ceiling needs a rate in MB/s}; shift ;;
    -h | --help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run_all.sh: unknown option $1" >&2; exit 2 ;;
    *) folder=$1 ;;
    esac
    shift
done

fail() { echo "run_all.sh: $*" >&2; exit 1; }
skip() { echo "run_all.sh: --ceiling skipped: $*" >&2; exit 77; }

command -v fio >/dev/null ||
    { echo "run_all.sh: fio is not installed. The benchmarks measure against it: apt-get install fio" >&2; exit 3; }
[ -n "$ceiling" ] || command -v gnuplot >/dev/null ||
    { echo "run_all.sh: gnuplot is not installed. It draws the chart: apt-get install gnuplot-nox" >&2; exit 3; }
cgroot=""
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

if [ -z "$out" ]; then
    out=$repo/bench/results
    [ $tiny = 1 ] && out=$repo/bench/results/tmp
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [ -z "$bin" ]; then
    build=$repo/build-bench
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    targets=(bench_drive bench_file bench_engine_cost)
    grep -q '/bench_dialog\.dir$' "$build/CMakeFiles/TargetDirectories.txt" && targets+=(bench_dialog)
    cmake --build "$build" -j2 --target "${targets[@]}"
    bin=$build/bench
fi
programs=(bench_drive bench_file bench_engine_cost)
for p in "${programs[@]}"; do
    [ -x "$bin/$p" ] || fail "$bin/$p is missing: build the benchmarks first"
done
if [ -x "$bin/bench_dialog" ]; then
    programs+=(bench_dialog)
elif [ $expect_dialog = 1 ]; then
    fail "$bin/bench_dialog is missing"
fi

made_folder=0
if [ -z "$folder" ]; then
    folder=$(mktemp -d "$bin/bench-data.XXXXXX")
    made_folder=1
fi
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
cgroup=""
cleanup() {
    [ -z "$cgroup" ] || rmdir "$cgroup" || echo "run_all.sh: could not remove $cgroup" >&2
    if [ $made_folder = 1 ]; then
        rm -rf "$folder"
    else
        rm -f "$folder"/sarnoval-bench-* "$folder"/SarnovalTemp.TMP "$folder"/SarnovalTemp2.TMP
    fi
}
trap cleanup EXIT

fstype=$(findmnt -n -o FSTYPE -T "$folder" 2>/dev/null || echo unknown)
case "$fstype" in
tmpfs | ramfs) echo "run_all.sh: warning: $folder is on $fstype; the figures measure memory, not a drive" >&2 ;;
esac

mode=()
[ $tiny = 1 ] && mode=(--tiny)
[ -n "$reps" ] && mode+=(--reps "$reps")

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
    # Joins the cgroup, then becomes the program: everything it starts is throttled too.
    run=(sh -c 'echo $$ >"$1/cgroup.procs" && shift && exec "$@"' sh "$cgroup"
        "$bin/bench_drive" --folder "$folder" "${mode[@]}" --ceiling "$ceiling")
    set +e
    "${run[@]}" | tee "$out/ceiling-$ceiling.txt"
    status=${PIPESTATUS[0]}
    set -e
    exit "$status"
fi

figures=$out/figures.tsv
: >"$figures"

failed=()
for p in "${programs[@]}"; do
    echo "== $p" >&2
    run=("$bin/$p" --folder "$folder" "${mode[@]}" --figures "$figures")
    if [ "$p" = bench_dialog ]; then
        # A real X server when there is one to start, else Qt's offscreen platform.
        if [ $tiny = 0 ] && command -v xvfb-run >/dev/null; then
            run=(env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}")
        else
            run=(env QT_QPA_PLATFORM=offscreen "${run[@]}")
        fi
    fi
    set +e
    "${run[@]}" | tee "$out/$p.txt"
    status=${PIPESTATUS[0]}
    set -e
    [ "$status" = 0 ] || failed+=("$p (exit $status)")
done

# A figure the summary needs must be present and a positive number.
figure() { awk -F'\t' -v k="$1" '$1 == k { v = $2 } END { if (v != "") print v }' "$figures"; }
# A figure rounded to $2 decimals, or n/a.
f2() { awk -v v="$(figure "$1")" -v d="${2:-0}" 'BEGIN { if (v == "") print "n/a"; else printf "%.*f", d, v }'; }
need=(drive.write.ours drive.write.fio drive.write.cache drive.write.same drive.write.ratio
    drive.read.ours drive.read.fio drive.read.cache drive.read.same drive.read.ratio
    file.ours file.fio file.ratio cost.idle_cpu_pct cost.rss_base_kib cost.grow_huge_kib)
[[ " ${programs[*]} " == *" bench_dialog "* ]] &&
    need+=(dialog.idle_cpu_pct dialog.rss_kib dialog.lateness_p99_ms dialog.startup_ms)
for k in "${need[@]}"; do
    v=$(figure "$k")
    awk -v v="$v" 'BEGIN { exit !(v ~ /^[0-9.eE+-]+$/ && v + 0 >= 0) }' || failed+=("figure $k missing")
done

# Chart: the drive test's write and read, side by side with fio.
cat >"$out/chart.dat" <<EOF
# phase ours fio_direct fio_engine_method cache_hitting
Write $(figure drive.write.ours) $(figure drive.write.fio) $(figure drive.write.same) $(figure drive.write.cache)
Read $(figure drive.read.ours) $(figure drive.read.fio) $(figure drive.read.same) $(figure drive.read.cache)
EOF
machine=$(sed -n 's/^Machine: //p' "$out/bench_drive.txt" | head -1)
date=$(sed -n 's/^Date: *\([^;]*\).*/\1/p' "$out/bench_drive.txt" | head -1)
size=$(awk -v b="$(figure drive.bytes)" 'BEGIN { printf "%d MB", b / 1e6 }')
gnuplot <<EOF || failed+=("gnuplot")
set terminal pngcairo size 1000,600 font "sans,10" noenhanced
set output "$out/chart.png"
set title "Drive test, $size: medians of $(f2 drive.reps) runs each, MB/s (1 MB = 1,000,000 bytes)\n$machine\n$date"
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
     "" using (\$0 - 0.3):2:(sprintf("%.0f", \$2)) with labels offset 0,0.7 notitle, \
     "" using (\$0 - 0.1):3:(sprintf("%.0f", \$3)) with labels offset 0,0.7 notitle, \
     "" using (\$0 + 0.1):4:(sprintf("%.0f", \$4)) with labels offset 0,0.7 notitle, \
     "" using (\$0 + 0.3):5:(sprintf("%.0f", \$5)) with labels offset 0,0.7 notitle
EOF
[ -s "$out/chart.png" ] || failed+=("chart.png not drawn")

# Markdown: a summary, then each program's own table.
command="bench/run_all.sh${args_text:+ $args_text}"
[ $tiny = 1 ] && command="bench/run_all.sh --tiny"
{
    echo "| Measure | Sarnoval | Reference | Ratio | Target |"
    echo "|---|---:|---:|---:|---|"
    echo "| Drive test write, $size, MB/s | $(f2 drive.write.ours) | $(f2 drive.write.fio) (fio direct) | $(f2 drive.write.ratio 3) | 0.85 to 1.15 |"
    echo "| Drive test read, $size, MB/s | $(f2 drive.read.ours) | $(f2 drive.read.fio) (fio direct) | $(f2 drive.read.ratio 3) | 0.85 to 1.15 |"
    echo "| Drive test write, against fio buffered like Sarnoval | $(f2 drive.write.ours) | $(f2 drive.write.same) | $(awk -v a="$(figure drive.write.ours)" -v b="$(figure drive.write.same)" 'BEGIN { printf "%.3f", a / b }') | |"
    echo "| Drive test read, against fio buffered like Sarnoval | $(f2 drive.read.ours) | $(f2 drive.read.same) | $(awk -v a="$(figure drive.read.ours)" -v b="$(figure drive.read.same)" 'BEGIN { printf "%.3f", a / b }') | |"
    echo "| What a cache-hitting test would claim, write / read, MB/s | | $(f2 drive.write.cache) / $(f2 drive.read.cache) | $(f2 drive.write.cache_ratio 2) / $(f2 drive.read.cache_ratio 2) x fio direct | |"
    echo "| File test read, $(awk -v b="$(figure file.bytes)" 'BEGIN { printf "%d MB", b / 1e6 }') file, MB/s | $(f2 file.ours) | $(f2 file.fio) (fio, cache dropped) | $(f2 file.ratio 3) | at least 0.95 |"
    echo "| Engine idle, counter loop started, % of a core | $(f2 cost.idle_cpu_pct 3) | | | near zero |"
    echo "| Engine memory growth during a test: small file / $(awk -v b="$(figure cost.huge_bytes)" 'BEGIN { printf "%d GB", b / 1e9 }') sparse file, KiB | $(f2 cost.grow_small_kib) / $(f2 cost.grow_huge_kib) | | | constant |"
    if [[ " ${programs[*]} " == *" bench_dialog "* ]]; then
        echo "| Dialog idle, before any test, % of a core | $(f2 dialog.idle_cpu_pct 3) | | | under 0.2 |"
        echo "| Dialog idle, after a test (counter loop started), % of a core | $(f2 dialog.idle_after_cpu_pct 3) | | | under 0.2 |"
        echo "| Dialog resident memory, idle, MiB | $(awk -v v="$(figure dialog.rss_kib)" 'BEGIN { printf "%.1f", v / 1024 }') | | | |"
        echo "| GUI timer lateness during the drive test, 99th percentile, ms | $(f2 dialog.lateness_p99_ms 2) | | | under 20 |"
        echo "| Process start to dialog shown, ms | $(f2 dialog.startup_ms 0) | | | |"
    fi
} >"$out/summary.md"

{
    echo "# Benchmark results"
    echo
    echo "Written by \`$command\`. Machine: $machine. Folder: $(sed -n 's/^Folder: *//p' "$out/bench_drive.txt" | head -1). Date: $date."
    echo
    cat "$out/summary.md"
    echo
    echo "![Drive test against fio](chart.png)"
    for p in "${programs[@]}"; do
        echo
        echo "## $p"
        echo
        echo '```'
        cat "$out/$p.txt"
        echo '```'
    done
} >"$out/RESULTS.md"

if [ ${#failed[@]} -gt 0 ]; then
    printf 'run_all.sh: FAILED: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "run_all.sh: results in $out/RESULTS.md and $out/chart.png" >&2
