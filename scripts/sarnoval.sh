#!/usr/bin/env bash
# Set up a Debian 12 machine for Sarnoval, build it, and either open it or run
# every test headless.
#   scripts/sarnoval.sh run    install what is missing, build, open the program
#   scripts/sarnoval.sh test   install what is missing, build normal, ASan+UBSan
#                              and TSan configurations, run all tests in each
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# What building and running the program needs; `run` installs only these.
run_packages=(build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev)
# Added for the tests: GoogleTest, fio and gnuplot for the benchmark smoke test,
# the desktop entry, AppStream and man page checkers.
test_packages=(libgtest-dev fio gnuplot-nox desktop-file-utils appstream groff-base)

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

case "$mode" in
run)
    install_missing "${run_packages[@]}"
    # The program alone: no tests, no benchmarks.
    build release -DBUILD_TESTING=OFF -DSARNOVAL_BUILD_BENCH=OFF
    exec "$root/build-release/ui/Sarnoval"
    ;;
test)
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    export QT_QPA_PLATFORM=offscreen
    failed=0
    build ci -DSARNOVAL_WERROR=ON
    run_tests ci || failed=1
    build asan -DSARNOVAL_WERROR=ON -DSARNOVAL_SANITIZE=address,undefined -DSARNOVAL_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests asan || failed=1
    build tsan -DSARNOVAL_WERROR=ON -DSARNOVAL_SANITIZE=thread -DSARNOVAL_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests tsan || failed=1
    if [ "$failed" -ne 0 ]; then
        echo "Some tests failed." >&2
        exit 1
    fi
    echo "All three configurations passed."
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
