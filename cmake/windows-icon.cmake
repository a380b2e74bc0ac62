# The programs' icon for Explorer, the Start menu and the taskbar, made from
# res/icons at build time: 16, 32 and 48 px as 32-bit bitmaps, which every
# shell reads, and 256 px as PNG, as Windows stores large icons.
find_program(SARNOVAL_ICOTOOL icotool REQUIRED) # Debian: icoutils

set(SARNOVAL_ICO ${CMAKE_BINARY_DIR}/res/sarnoval.ico)
set(SARNOVAL_ICON_RC ${CMAKE_BINARY_DIR}/res/icon.rc)
set(icons ${PROJECT_SOURCE_DIR}/res/icons)
add_custom_command(OUTPUT ${SARNOVAL_ICO}
    COMMAND ${SARNOVAL_ICOTOOL} -c -o ${SARNOVAL_ICO}
        ${icons}/sarnoval-16.png ${icons}/sarnoval-32.png ${icons}/sarnoval-48.png
        --raw=${icons}/sarnoval-256.png
    DEPENDS ${icons}/sarnoval-16.png ${icons}/sarnoval-32.png ${icons}/sarnoval-48.png
        ${icons}/sarnoval-256.png
    VERBATIM)
add_custom_target(sarnoval_windows_icon DEPENDS ${SARNOVAL_ICO})
# 128 is IDR_MAINFRAME (res/resource.h, which windres cannot read); the shell
# shows a program's first icon group. Written only when it changes, so that
# configuring again relinks nothing.
file(CONFIGURE OUTPUT ${SARNOVAL_ICON_RC} CONTENT "128 ICON \"@SARNOVAL_ICO@\"\n" @ONLY)

# Gives the executable TARGET the icon.
function(sarnoval_windows_icon target)
    target_sources(${target} PRIVATE ${SARNOVAL_ICON_RC})
    set_source_files_properties(${SARNOVAL_ICON_RC} PROPERTIES OBJECT_DEPENDS ${SARNOVAL_ICO})
    add_dependencies(${target} sarnoval_windows_icon)
endfunction()
