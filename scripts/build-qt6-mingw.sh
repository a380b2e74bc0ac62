#!/usr/bin/env bash
# A minimal static Qt 6 (qtbase: Core, Gui, Widgets, Test, the windows,
# offscreen and minimal platform plugins) for x86_64 Windows, cross-built with
# Debian 12's mingw-w64 from Debian's own qt6-base source, against Debian's
# host Qt of the same version (qt6-base-dev 6.4.2). `scripts/sarnoval.sh
# qt-windows` runs `all` into its cache, for machines without the prebuilt
# archive; the result is the same Qt the archive holds.
#
#   build-qt6-mingw.sh source      apt-get source qt6-base (deb-src added for the
#                                   run, then the apt sources are put back)
#   build-qt6-mingw.sh configure   write the toolchain file, run Qt's configure
#   build-qt6-mingw.sh build       build everything (ninja -j$JOBS)
#   build-qt6-mingw.sh install     install into $PREFIX, report its size
#   build-qt6-mingw.sh all         the four, then remove $WORK (2.2 GB)
#
# Variables (defaults in brackets): WORK [${TMPDIR:-/tmp}/qt6-mingw],
# PREFIX [${TMPDIR:-/tmp}/qt6-mingw-static], HOST_QT [/usr], JOBS [2].
set -euo pipefail

WORK=${WORK:-${TMPDIR:-/tmp}/qt6-mingw}
PREFIX=${PREFIX:-${TMPDIR:-/tmp}/qt6-mingw-static}
HOST_QT=${HOST_QT:-/usr}
HOST_QT_CMAKE=${HOST_QT_CMAKE:-$HOST_QT/lib/$(gcc -dumpmachine)/cmake}
JOBS=${JOBS:-2}
TRIPLE=x86_64-w64-mingw32
SRC=$WORK/src
BUILD=$WORK/build
TOOLCHAIN=$WORK/mingw-posix.cmake

step=${1:-}
case "$step" in
source)
    mkdir -p "$WORK"
    sources=/etc/apt/sources.list.d/debian.sources
    cp "$sources" "$WORK/debian.sources.saved"
    # The same archive's source packages, for this run only.
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
    trap 'cp "$WORK/debian.sources.saved" "$sources"; apt-get update -qq || true' EXIT
    apt-get update -qq
    (cd "$WORK" && apt-get source --download-only qt6-base)
    rm -rf "$SRC"
    (cd "$WORK" && dpkg-source -x qt6-base_*.dsc "$SRC")
    ;;
configure)
    cat >"$TOOLCHAIN" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $TRIPLE-gcc-posix)
set(CMAKE_CXX_COMPILER $TRIPLE-g++-posix)
set(CMAKE_RC_COMPILER $TRIPLE-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$TRIPLE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
    # Qt 6.4.2 compiles its DirectWrite font code only with direct2d on, but
    # the windows plugin calls it whenever directwrite3 is on: with
    # -no-feature-direct2d the program then fails to link
    # (QWindowsDirectWriteFontDatabase, createDirectWriteFace undefined).
    sed -i 's/^qt_internal_extend_target(Gui CONDITION QT_FEATURE_direct2d AND QT_FEATURE_directwrite AND /qt_internal_extend_target(Gui CONDITION QT_FEATURE_directwrite AND /' \
        "$SRC/src/gui/CMakeLists.txt"
    sed -i 's/^#if QT_CONFIG(directwrite) \&\& QT_CONFIG(direct2d)$/#if QT_CONFIG(directwrite)/' \
        "$SRC/src/gui/text/windows/qwindowsfontdatabasebase.cpp"
    rm -rf "$BUILD"
    mkdir -p "$BUILD"
    cd "$BUILD"
    # Only what Sarnoval's dialog and its Qt Test programs use. tabletevent
    # needs wintab.h, which Debian's source leaves out (not free to modify).
    time "$SRC/configure" -prefix "$PREFIX" -static -release \
        -platform linux-g++ -xplatform win32-g++ \
        -qt-host-path "$HOST_QT" \
        -nomake examples -nomake tests -nomake benchmarks \
        -no-opengl -no-dbus -no-icu -no-pkg-config -no-glib \
        -no-feature-sql -no-feature-network -no-feature-xml -no-feature-concurrent \
        -no-feature-printsupport -no-feature-tabletevent -no-feature-vulkan \
        -no-feature-zstd -no-feature-jpeg -no-feature-direct2d \
        -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-freetype -qt-doubleconversion \
        -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DQT_HOST_PATH_CMAKE_DIR="$HOST_QT_CMAKE" 2>&1 | tee "$WORK/configure.log"
    ;;
build)
    cd "$BUILD"
    time nice -n 10 ninja -j "$JOBS"
    ;;
install)
    cd "$BUILD"
    time ninja install >/dev/null
    echo "installed: $(du -sh "$PREFIX" | cut -f1)"
    ;;
all)
    bash "$0" source
    bash "$0" configure
    bash "$0" build
    bash "$0" install
    rm -rf "$WORK"
    ;;
*)
    sed -n '2,17p' "$0"
    exit 2
    ;;
esac
