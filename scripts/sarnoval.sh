#!/usr/bin/env bash
# Set up a Debian 12 machine for Sarnoval, build it, and either open it or run
# every test headless.
#   scripts/sarnoval.sh run    install what is missing, build, open the program
#   scripts/sarnoval.sh test   install what is missing, build normal, ASan+UBSan
#                              and TSan configurations, run all tests in each,
#                              then the Windows engine and command-line tests
#                              and the Windows dialog's tests under Wine
#   scripts/sarnoval.sh test-windows
#                              only the Windows engine and sarnoval-cli.exe:
#                              cross-built, their tests run under Wine
#   scripts/sarnoval.sh test-windows-ui
#                              only the Windows dialog: Sarnoval.exe and the Qt
#                              tests against a static Qt for Windows, run under
#                              Wine, then the package checked and started as a
#                              smoke test, and the installer run under Wine
#   scripts/sarnoval.sh package-windows
#                              the zip (both programs, README, licence texts,
#                              relinking kit) and the installer
#   scripts/sarnoval.sh qt-windows
#                              build that static Qt from Debian's qt6-base
#                              source into the cache (about 30 min on 2 cores),
#                              for machines without the prebuilt archive
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# What building and running the program needs; `run` installs only these.
# nlohmann-json3-dev is sarnoval-cli's JSON writer; qt6-tools-dev (CMake's
# Qt6LinguistTools) and qt6-l10n-tools (lupdate, lrelease) compile the window's
# translations, and qt6-translations-l10n has Qt's own for its dialogs.
run_packages=(build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev nlohmann-json3-dev
              qt6-tools-dev qt6-l10n-tools qt6-translations-l10n)
# Added for the tests: GoogleTest, fio and gnuplot for the benchmark smoke test,
# the desktop entry, AppStream and man page checkers, the Debian package's
# tools (dpkg-shlibdeps, lintian), and what the tests on
# real file systems mount: an sshfs share through a local sshd, a FUSE layer
# that injects faults, and ext4, xfs, btrfs and exFAT on loop devices (losetup
# from mount; the accuracy test's throttled loop device too), and an X server
# (Xvfb) that the dialog loses mid-test.
test_packages=(libgtest-dev fio gnuplot-nox desktop-file-utils appstream groff-base
               openssh-server openssh-client sshfs fuse3 libfuse3-dev mount e2fsprogs xfsprogs
               btrfs-progs exfatprogs exfat-fuse lintian dpkg-dev file xvfb)
# The Windows engine and command line: cross compiler, the JSON headers, and
# Wine to run their tests; Python lends a pseudo-terminal to Wine as a COM port;
# icoutils makes the programs' icon and reads it back out of them.
windows_packages=(build-essential cmake g++-mingw-w64-x86-64-posix wine64 nlohmann-json3-dev
                  python3 icoutils)
# The Windows dialog: Ninja, the zip tools, NSIS for the installer; the host
# Qt provides moc and rcc, and the host's lrelease the translations (the
# static Qt has no Linguist tools).
windows_ui_packages=(ninja-build zip unzip nsis qt6-base-dev qt6-l10n-tools)

# The static Qt for Windows: prebuilt beside the checkout, else the cache that
# `qt-windows` fills.
qt_version=6.4.2
qt_archive=$root/../shared/windows/qt6-mingw-static-$qt_version.tar.xz
qt_cache=${SARNOVAL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sarnoval}/qt6-mingw-static-$qt_version
windows_ui_dir=$root/build-windows-ui
version=1.1
package_zip=$windows_ui_dir/Sarnoval-$version-windows-x86_64.zip
package_setup=$windows_ui_dir/Sarnoval-$version-windows-x86_64-setup.exe

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

# Wine in a private prefix in build folder $1, with no display; wine_run
# starts a program again that Wine dropped as it started.
wine_env() {
    # Wine converts file names in the locale's character set: a machine that
    # sets no locale could not name café.bin.
    wine=(env -u DISPLAY LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEPREFIX="$1/wineprefix" WINEDEBUG=-all
          WINEDLLOVERRIDES="mscoree,mshtml=")
    wine_run=("${wine[@]}" bash "$root/cmake/wine-run.sh" /usr/lib/wine/wine64)
}

# Makes the prefix first and within a time limit: a first run that waited for
# a dialog must not hang the run. Windows are made with the null graphics
# driver, since there is no display. Wine passes no QT_ variable from the
# host, so the one that sends Qt's messages and test output to the console
# (not the debugger) is set in the prefix.
make_wine_prefix() {
    wine_env "$1"
    [ -f "$1/wineprefix/system.reg" ] && return 0
    echo "Creating the Wine prefix in $1/wineprefix"
    if ! timeout -k 10 300 "${wine[@]}" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 ||
        ! "${wine_run[@]}" reg add 'HKCU\Software\Wine\Drivers' \
            /v Graphics /d null /f >/dev/null 2>&1 ||
        ! "${wine_run[@]}" reg add 'HKCU\Environment' \
            /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1; then
        echo "Could not create the Wine prefix." >&2
        rm -rf "$1/wineprefix"
        return 1
    fi
    "${wine[@]}" /usr/lib/wine/wineserver -w
}

# ctest in build folder $1 under Wine, $2 tests at a time (default: one per
# core); the wine server is ended afterwards.
run_under_wine() {
    make_wine_prefix "$1" || return 1
    local result=0
    (cd "$1" && nice -n 10 ctest --output-on-failure -j "${2:-$jobs}" --timeout 900) || result=1
    "${wine[@]}" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    return "$result"
}

run_windows_tests() {
    run_under_wine "$root/build-windows"
}

# Sets windows_qt to a static Qt for Windows, unpacking the checked archive
# into the build folder when it changed; otherwise sets skip_reason and fails.
find_windows_qt() {
    windows_qt=
    skip_reason=
    if [ -f "$qt_archive" ]; then
        local sum
        if ! sum=$(cd "$(dirname "$qt_archive")" &&
            sha256sum --check --status "$(basename "$qt_archive").sha256" &&
            cut -d' ' -f1 "$(basename "$qt_archive").sha256"); then
            skip_reason="$qt_archive does not match its .sha256"
            return 1
        fi
        if [ "$(cat "$windows_ui_dir/qt6-mingw.sha256" 2>/dev/null)" != "$sum" ]; then
            echo "Unpacking $(basename "$qt_archive") into $windows_ui_dir"
            rm -rf "$windows_ui_dir/qt6-mingw" "$windows_ui_dir/qt6-mingw.sha256"
            mkdir -p "$windows_ui_dir"
            tar -xJf "$qt_archive" -C "$windows_ui_dir"
            echo "$sum" >"$windows_ui_dir/qt6-mingw.sha256"
        fi
        windows_qt=$windows_ui_dir/qt6-mingw
    elif [ -f "$qt_cache/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
        windows_qt=$qt_cache
    else
        skip_reason="no Qt for Windows: neither $qt_archive nor a build in $qt_cache
(\`scripts/sarnoval.sh qt-windows\` builds one there from Debian's source, about 30 minutes)"
        return 1
    fi
}

# Sarnoval.exe, sarnoval-cli.exe (for the package) and the Qt tests, against
# the static Qt, or only the targets given; the engine's and the command
# line's own tests run in build-windows.
build_windows_ui() {
    cmake -S "$root" -B "$windows_ui_dir" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$windows_qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DSARNOVAL_WERROR=ON -DSARNOVAL_BUILD_UI=ON \
        -DBUILD_TESTING=ON -DSARNOVAL_BUILD_ENGINE_TESTS=OFF -DSARNOVAL_BUILD_CLI=ON \
        -DSARNOVAL_BUILD_BENCH=OFF >/dev/null
    nice -n 10 cmake --build "$windows_ui_dir" -j "$jobs" ${1:+--target "$@"}
}

# Text for Windows users: CRLF line ends, so Notepad of any age shows lines.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }

# The relinking kit the LGPL asks for with a static Qt: Sarnoval.exe's link
# as Ninja runs it, one argument a line in relink/link.rsp, with the build's
# own objects and libraries copied to relink/obj/ and Qt's paths under
# relink/qt6-mingw/, where the user puts a Qt of their own.
relink_kit() {
    local kit=$1 words arg out=() skip=0 i=0
    mkdir -p "$kit/obj"
    read -ra words <<<"$(cd "$windows_ui_dir" && ninja -t commands ui/Sarnoval.exe | tail -n 1)"
    # What follows ": && COMPILER", without -o, the import library, or what
    # comes after the link.
    while [ "$i" -lt "${#words[@]}" ] && [[ ${words[i]} != *-g++* ]]; do i=$((i + 1)); done
    for arg in "${words[@]:i+1}"; do
        if [ "$skip" -eq 1 ]; then skip=0; continue; fi
        case $arg in
        -o) skip=1 ;;
        -Wl,--out-implib,*) ;;
        '&&') break ;;
        "$windows_qt"/*) out+=("qt6-mingw/${arg#"$windows_qt"/}") ;;
        qt6-mingw/*) out+=("$arg") ;;
        *)
            if [ "${arg#-}" = "$arg" ] && [ -f "$windows_ui_dir/$arg" ]; then
                mkdir -p "$kit/obj/$(dirname "$arg")"
                cp "$windows_ui_dir/$arg" "$kit/obj/$arg"
                out+=("obj/$arg")
            else
                out+=("$arg")
            fi
            ;;
        esac
    done
    printf '%s\n' "${out[@]}" >"$kit/link.rsp"
    crlf "$root/res/RELINK-windows.txt" "$kit/RELINK.txt"
    cp "$root/scripts/build-qt6-mingw.sh" "$kit/"
}

# Both programs stripped, the README for Windows, the licence texts of the
# static Qt (LGPL 3, which builds on the GPL 3, and the notices of Qt's
# bundled code) and of the compiler's runtime, and the relinking kit.
package_windows() {
    local stage="$windows_ui_dir/package/Sarnoval"
    rm -rf "$windows_ui_dir/package" "$package_zip"
    mkdir -p "$stage/licenses"
    x86_64-w64-mingw32-strip -o "$stage/Sarnoval.exe" "$windows_ui_dir/ui/Sarnoval.exe"
    x86_64-w64-mingw32-strip -o "$stage/sarnoval-cli.exe" "$windows_ui_dir/cli/sarnoval-cli.exe"
    crlf "$root/res/README-windows.txt" "$stage/README.txt"
    crlf "$root/res/LICENSES-windows.txt" "$stage/licenses/README.txt"
    crlf /usr/share/common-licenses/LGPL-3 "$stage/licenses/Qt-LGPL-3.txt"
    crlf /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.txt"
    crlf /usr/share/doc/libqt6core6/copyright "$stage/licenses/Qt-copyright.txt"
    crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime-copyright.txt"
    crlf /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64-copyright.txt"
    relink_kit "$stage/relink"
    (cd "$windows_ui_dir/package" && zip -qr9 "$package_zip" Sarnoval)
    echo "Package: $package_zip ($(du -h "$package_zip" | cut -f1))"
    installer "$stage"
}

# The installer of the package folder $1: its files listed for NSIS folder by
# folder, and for the uninstaller file by file, deepest folders last.
installer() {
    local stage=$1 files="$windows_ui_dir/package/files.nsh" dir
    {
        echo '!macro SarnovalFiles'
        while read -r dir; do
            echo "    SetOutPath \"\$INSTDIR${dir:1}\""
            find "$stage/$dir" -maxdepth 1 -type f -printf '    File "%p"\n'
        done < <(cd "$stage" && find . -type d | sort)
        echo '!macroend'
        echo '!macro SarnovalRemoveFiles'
        (cd "$stage" && find . -type f -printf '    Delete "$INSTDIR/%P"\n' &&
            find . -mindepth 1 -depth -type d -printf '    RMDir "$INSTDIR/%P"\n')
        echo '!macroend'
    } | sed '/\$INSTDIR/s:/:\\:g' >"$files"
    rm -f "$package_setup"
    nice -n 10 makensis -V2 -DVERSION="$version" -DFILES="$files" -DICON="$windows_ui_dir/res/sarnoval.ico" \
        -DOUTFILE="$package_setup" "$root/res/sarnoval.nsi"
    echo "Installer: $package_setup ($(du -h "$package_setup" | cut -f1))"
}

# The zip's kit and texts: linked against this Qt, relink/ gives the program
# again, byte for byte; every text for Windows users has CRLF line ends.
check_package() {
    local dir="$windows_ui_dir/package-check" failed=0 text
    rm -rf "$dir"
    mkdir -p "$dir"
    unzip -q "$package_zip" -d "$dir"
    local kit="$dir/Sarnoval/relink"
    ln -s "$windows_qt" "$kit/qt6-mingw"
    if ! (cd "$kit" && nice -n 10 x86_64-w64-mingw32-g++-posix @link.rsp -o Sarnoval.exe) ||
        ! cmp -s "$kit/Sarnoval.exe" "$windows_ui_dir/ui/Sarnoval.exe"; then
        echo "relink/ in the zip does not link Sarnoval.exe as built" >&2
        failed=1
    fi
    while read -r text; do
        if grep -qv $'\r$' "$text"; then
            echo "${text#"$dir/"} has lines without CRLF" >&2
            failed=1
        fi
    done < <(find "$dir" -name '*.txt')
    rm -rf "$dir"
    [ "$failed" -eq 0 ] && echo "The zip's relinking kit links Sarnoval.exe as built; its texts are CRLF."
}

# The zip unpacked elsewhere and its program started under Wine: it must open
# its window and close when asked, as from the close box.
smoke_test_package() {
    local dir="$windows_ui_dir/package-smoke"
    rm -rf "$dir"
    mkdir -p "$dir"
    unzip -q "$package_zip" -d "$dir"
    make_wine_prefix "$windows_ui_dir" || return 1
    local exe="$dir/Sarnoval/Sarnoval.exe"
    timeout -k 10 120 "${wine_run[@]}" "$exe" >"$dir.log" 2>&1 &
    local program=$! closed=1
    for _ in $(seq 60); do
        sleep 1
        kill -0 "$program" 2>/dev/null || break
        # taskkill without /f closes the windows, as their close boxes would.
        # Asked again until the program ends: the process can be listed
        # before its window exists, and then the first request closes nothing.
        if "${wine[@]}" /usr/lib/wine/wine64 taskkill /im Sarnoval.exe >/dev/null 2>&1; then
            closed=0
        fi
    done
    local code=0
    wait "$program" || code=$?
    "${wine[@]}" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    rm -rf "$dir"
    if [ "$closed" -ne 0 ] || [ "$code" -ne 0 ]; then
        echo "The packaged Sarnoval.exe did not open and close its window under Wine (exit $code):" >&2
        cat "$dir.log" >&2
        return 1
    fi
    echo "The packaged Sarnoval.exe opened and closed its window under Wine."
}

# The installer under Wine, silent, as a deployment tool runs it: the
# installed sarnoval-cli.exe runs, the shortcut and the Apps & features entry
# are there; then the entry's quiet uninstall leaves none of them.
test_installer() {
    make_wine_prefix "$windows_ui_dir" || return 1
    local c="$windows_ui_dir/wineprefix/drive_c" problems=() out value quiet exe
    local dir="$c/Program Files/Sarnoval"
    local link="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Sarnoval.lnk"
    local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sarnoval'
    # What an earlier, failed run left in the prefix would pass for the installer's work.
    rm -rf "$dir" "$link"
    "${wine_run[@]}" reg delete "$key" /f >/dev/null 2>&1 || true
    "${wine_run[@]}" "$package_setup" /S || problems+=("the installer failed")
    out=$("${wine_run[@]}" "$dir/sarnoval-cli.exe" --version 2>&1 | tr -d '\r')
    [ "$out" = "sarnoval-cli $version" ] || problems+=("the installed sarnoval-cli.exe --version said: $out")
    [ -f "$link" ] || problems+=("no Start menu shortcut")
    out=$("${wine_run[@]}" reg query "$key" 2>&1 | tr -d '\r')
    for value in DisplayName "DisplayVersion *REG_SZ *$version\$" Publisher DisplayIcon \
        InstallLocation UninstallString NoModify NoRepair EstimatedSize; do
        grep -q "^ *$value" <<<"$out" || problems+=("the Apps & features entry lacks $value")
    done
    # "C:\...\uninstall.exe" /S. The uninstaller runs a copy of itself from
    # the temporary folder and returns at once; the wine server ends only
    # when that copy has finished too.
    quiet=$(sed -n 's/^ *QuietUninstallString *REG_SZ *//p' <<<"$out")
    exe=${quiet#\"}
    exe=${exe%%\"*}
    "${wine_run[@]}" "$exe" ${quiet##*\" } || problems+=("the uninstaller failed: $quiet")
    "${wine[@]}" /usr/lib/wine/wineserver -w
    [ ! -e "$dir" ] || problems+=("left in Program Files: $(cd "$dir" && find . -type f | head -n 5 | tr "\n" " ")")
    [ ! -e "$link" ] || problems+=("the Start menu shortcut is left")
    if "${wine_run[@]}" reg query "$key" >/dev/null 2>&1; then
        problems+=("the Apps & features entry is left")
    fi
    "${wine[@]}" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    if [ ${#problems[@]} -ne 0 ]; then
        printf 'The installer under Wine: %s\n' "${problems[@]}" >&2
        return 1
    fi
    echo "The installer installed, ran and uninstalled Sarnoval silently under Wine."
}

# The Windows dialog whole: build, tests under Wine, package, its checks and
# smoke test, the installer.
test_windows_ui() {
    # One at a time: the dialogs of tests run side by side share Wine's one
    # desktop, and one activating its window takes the focus from the other.
    build_windows_ui && run_under_wine "$windows_ui_dir" 1 && package_windows &&
        check_package && smoke_test_package && test_installer
}

# package-deb: build-deb/sarnoval_<version>-1_<arch>.deb from a release build
# with Debian's hardening flags; lintian's errors and warnings fail it.
package_deb() {
    local dir="$root/build-deb" deb
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    build deb -DBUILD_TESTING=OFF -DSARNOVAL_BUILD_BENCH=OFF -DSARNOVAL_WERROR=ON \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
    rm -f "$dir"/sarnoval_*.deb
    (cd "$dir" && cpack -G DEB >/dev/null)
    deb=$(ls "$dir"/sarnoval_*.deb)
    lintian --fail-on error,warning "$deb"
    echo "Package: $deb ($(du -h "$deb" | cut -f1))"
}

case "$mode" in
run)
    install_missing "${run_packages[@]}"
    # The program alone: no tests, no benchmarks.
    build release -DBUILD_TESTING=OFF -DSARNOVAL_BUILD_BENCH=OFF
    exec "$root/build-release/ui/sarnoval"
    ;;
test)
    install_missing "${run_packages[@]}" "${test_packages[@]}" "${windows_packages[@]}" \
        "${windows_ui_packages[@]}"
    export QT_QPA_PLATFORM=offscreen
    failed=0
    build ci -DSARNOVAL_WERROR=ON
    run_tests ci || failed=1
    build asan -DSARNOVAL_WERROR=ON -DSARNOVAL_SANITIZE=address,undefined -DSARNOVAL_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests asan || failed=1
    build tsan -DSARNOVAL_WERROR=ON -DSARNOVAL_SANITIZE=thread -DSARNOVAL_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_tests tsan || failed=1
    build_windows && run_windows_tests || failed=1
    skipped=
    if find_windows_qt; then
        started=$SECONDS
        test_windows_ui || failed=1
        echo "The Windows dialog took $((SECONDS - started)) s."
    elif [ -f "$qt_archive" ]; then
        echo "$skip_reason" >&2
        failed=1
    else
        skipped="SKIPPED the Windows dialog (not built, not tested): $skip_reason"
        echo "$skipped" >&2
    fi
    if [ "$failed" -ne 0 ]; then
        echo "Some tests failed." >&2
        exit 1
    fi
    if [ -n "$skipped" ]; then
        echo "Four configurations passed. $skipped" >&2
    else
        echo "All five configurations passed."
    fi
    ;;
test-windows)
    install_missing "${windows_packages[@]}"
    build_windows
    run_windows_tests
    ;;
test-windows-ui | package-windows)
    install_missing "${windows_packages[@]}" "${windows_ui_packages[@]}"
    if ! find_windows_qt; then
        echo "Cannot build the Windows dialog: $skip_reason" >&2
        exit 1
    fi
    if [ "$mode" = package-windows ]; then
        build_windows_ui Sarnoval sarnoval-cli
        package_windows
    else
        test_windows_ui
    fi
    ;;
package-deb)
    install_missing "${run_packages[@]}" dpkg-dev lintian
    package_deb
    ;;
qt-windows)
    install_missing "${windows_packages[@]}" "${windows_ui_packages[@]}" dpkg-dev
    WORK="$qt_cache.work" PREFIX="$qt_cache" bash "$root/scripts/build-qt6-mingw.sh" all
    ;;
*)
    echo "usage: $0 run|test|test-windows|test-windows-ui|package-windows|qt-windows" >&2
    exit 2
    ;;
esac
