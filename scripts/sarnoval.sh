#!/usr/bin/env bash
# Set up a Debian 12 machine for Sarnoval, build it, and either open it or run
# every test headless.
#   scripts/sarnoval.sh run    install what is missing, build, open the program
#   scripts/sarnoval.sh test   install what is missing, build normal, ASan+UBSan
#                              and TSan configurations, run all tests in each,
#                              then the Windows engine and command-line tests
#                              under Wine
#   scripts/sarnoval.sh test-windows
#                              only the last: the engine and sarnoval-cli.exe
#                              cross-built for Windows, their tests run under Wine
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# What building and running the program needs; `run` installs only these.
# nlohmann-json3-dev is sarnoval-cli's JSON writer.
run_packages=(build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev nlohmann-json3-dev)
# Added for the tests: GoogleTest, fio and gnuplot for the benchmark smoke test,
# the desktop entry, AppStream and man page checkers, and what the tests on
# real file systems mount: an sshfs share through a local sshd, a FUSE layer
# that injects faults, and ext4, xfs, btrfs and exFAT on loop devices (losetup
# from mount; the accuracy test's throttled loop device too).
test_packages=(libgtest-dev fio gnuplot-nox desktop-file-utils appstream groff-base
               openssh-server openssh-client sshfs fuse3 libfuse3-dev mount e2fsprogs xfsprogs
               btrfs-progs exfatprogs exfat-fuse)
# The Windows engine and command line: cross compiler, the JSON headers, and
# Wine to run their tests.
windows_packages=(build-essential cmake g++-mingw-w64-x86-64-posix wine64 nlohmann-json3-dev)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build NAME [cmake options...]: tests and benchmarks unless the options say otherwise
build() {
    local dir="$root/build-$1"
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSARNOVAL_BUILD_UI=ON \
        -DBUILD_TESTING=ON -DSARNOVAL_BUILD_BENCH=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

run_tests() {
    local dir="$root/build-$1"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 900)
}

# The engine, sarnoval-cli.exe and their tests for 64-bit Windows; Debian has
# no Qt for Windows.
build_windows() {
    local dir="$root/build-windows"
    cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSARNOVAL_WERROR=ON -DSARNOVAL_BUILD_UI=OFF \
        -DSARNOVAL_BUILD_BENCH=OFF -DBUILD_TESTING=ON >/dev/null
    cmake --build "$dir" -j "$jobs"
}

# Under Wine, in a private prefix in the build folder, with no display.
run_windows_tests() {
    local dir="$root/build-windows"
    local wine=(env -u DISPLAY WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all
                WINEDLLOVERRIDES="mscoree,mshtml=")
    # The prefix is made first and within a time limit: a first run that
    # waited for a dialog must not hang the run.
    if [ ! -f "$dir/wineprefix/system.reg" ]; then
        echo "Creating the Wine prefix in $dir/wineprefix"
        if ! timeout -k 10 300 "${wine[@]}" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1; then
            echo "Could not create the Wine prefix." >&2
            return 1
        fi
    fi
    local result=0
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 900) || result=1
    "${wine[@]}" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    return "$result"
}

case "$mode" in
run)
    install_missing "${run_packages[@]}"
    # The program alone: no tests, no benchmarks.
    build release -DBUILD_TESTING=OFF -DSARNOVAL_BUILD_BENCH=OFF
    exec "$root/build-release/ui/sarnoval"
    ;;
test)
    install_missing "${run_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}"
    export QT_QPA_PLATFORM=offscreen
    failed=0
    build ci -DSARNOVAL_WERROR=ON
    run_tests ci || failed=1
    build asan -DSARNOVAL_WERROR=ON -DSARNOVAL_SANITIZE=address,undefined -DSARNOVAL_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests asan || failed=1
    build tsan -DSARNOVAL_WERROR=ON -DSARNOVAL_SANITIZE=thread -DSARNOVAL_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests tsan || failed=1
    build_windows && run_windows_tests || failed=1
    if [ "$failed" -ne 0 ]; then
        echo "Some tests failed." >&2
        exit 1
    fi
    echo "All four configurations passed."
    ;;
test-windows)
    install_missing "${windows_packages[@]}"
    build_windows
    run_windows_tests
    ;;
*)
    echo "usage: $0 run|test|test-windows" >&2
    exit 2
    ;;
esac
