# `cpack -G DEB` in a build folder makes sarnoval_<version>-<release>_<arch>.deb
# from the install rules; debian-stage.cmake adds what Debian wants on top.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sarnoval)
set(CPACK_PACKAGE_VENDOR Quenvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Directories made by the install rules are 0755 whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quenvo <info@quenvo.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quenvo.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Qt loads its platform plugin at run time, which dpkg-shlibdeps cannot see:
# without qt6-qpa-plugins the dialog cannot open a window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "storage throughput test for drives and files")
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Sarnoval measures how fast the computer moves data to and from storage."
    "It has two tests: one reads a chosen file from start to end, the other"
    "writes a temporary file of 1, 5, 20 or 100 MB to a drive, reads it back,"
    "deletes it and reports the write and read speeds."
    ""
    "The package holds the Qt dialog (sarnoval) and a console program"
    "(sarnoval-cli) that runs the same tests from a terminal, with text or"
    "JSON output.")

# Read by debian-stage.cmake, which CPack runs on the staged tree.
set(CPACK_SARNOVAL_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/res/debian)
set(CPACK_SARNOVAL_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-stage.cmake)

include(CPack)
