# Run by CPack on the staged tree before the .deb is made: what Debian policy
# asks of a package but a plain `cmake --install` should not do. The man pages
# and changelog are compressed with -9n so the package is reproducible.
# (file(INSTALL) is not used: it would put DESTDIR, set by CPack, in front.)
set(usr ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
if(NOT IS_DIRECTORY "${usr}/bin")
    message(FATAL_ERROR "no staged tree at ${usr}")
endif()
set(src ${CPACK_SARNOVAL_DEBIAN_DIR})
set(doc ${usr}/share/doc/${CPACK_PACKAGE_NAME})
set(overrides ${usr}/share/lintian/overrides)

# A release without its changelog entry would ship the last one's.
set(version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
file(STRINGS "${src}/changelog" top LIMIT_COUNT 1)
if(NOT top MATCHES "^${CPACK_PACKAGE_NAME} \\(${version}\\) ")
    message(FATAL_ERROR "res/debian/changelog starts with '${top}', not version ${version}")
endif()

file(MAKE_DIRECTORY "${doc}" "${overrides}")
file(COPY_FILE "${src}/changelog" "${doc}/changelog.Debian")
file(COPY_FILE "${src}/copyright" "${doc}/copyright")
file(COPY_FILE "${src}/lintian-overrides" "${overrides}/${CPACK_PACKAGE_NAME}")
file(GLOB pages "${usr}/share/man/man*/*.[1-9]")
foreach(f IN LISTS pages ITEMS "${doc}/changelog.Debian")
    execute_process(COMMAND gzip -9nf "${f}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# As dh_strip does: CPack's strip leaves the compiler's notes in.
file(GLOB programs "${usr}/bin/*")
execute_process(COMMAND ${CPACK_SARNOVAL_STRIP} --remove-section=.comment --remove-section=.note
    ${programs} COMMAND_ERROR_IS_FATAL ANY)
# The umask must not decide what the package's users get.
file(CHMOD "${doc}/changelog.Debian.gz" "${doc}/copyright" "${overrides}/${CPACK_PACKAGE_NAME}"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(CHMOD "${doc}" "${usr}/share/lintian" "${overrides}" DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
