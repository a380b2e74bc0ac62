# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# so std::thread works) and run what was built under Wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SARNOVAL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SARNOVAL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SARNOVAL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SARNOVAL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SARNOVAL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without the runtime DLLs beside it, Wine ends a dynamically linked program
# with exit code 53 and no message.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# A private, quiet prefix in the build folder; no display, and no offer to
# download Mono or Gecko, so nothing can wait for a click. wine-run.sh starts
# a program again that Wine dropped as it started.
find_program(SARNOVAL_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(SARNOVAL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        env -u DISPLAY WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml= bash ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
        ${SARNOVAL_WINE})
endif()
