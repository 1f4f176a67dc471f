# The Debian package, made by CPack from what `cmake --install` installs below /usr: the programs (stripped),
# the desktop entry, the MIME type, the icon, and whatever manual pages and shell completions the install
# rules add. `cpack -G DEB` in a build folder (or tools/build-deb.sh, which also builds) writes
# dist/parlivex_<version>_<architecture>.deb in the source folder.
#
# The desktop's caches (MIME types, desktop entries, icons) are refreshed by the triggers of the packages
# that own them, so the package has no maintainer scripts.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parlivex)
set(CPACK_PACKAGE_VENDOR "The Parlivex developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser and extractor for Skyrim BSA archives")
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
# Installed with DESTDIR set, below the prefix /usr whatever the build folder's own: so the install rules
# leave the desktop's caches alone (see app/CMakeLists.txt).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(PARLIVEX_PACKAGE_MAINTAINER "Parlivex maintainers <maintainers@users.noreply.c-seed-515385d3.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_NAME parlivex)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PARLIVEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Parlivex opens the BSA resource archives of Skyrim (format version 104,
zlib) and Skyrim Special Edition (version 105, LZ4): it lists every entry,
filters and sorts them, previews DDS textures, images and text, and
extracts a selection below a chosen folder, refusing damaged or hostile
archives with a clear message.
.
The package holds the desktop program, parlivex, with its menu entry and a
MIME type for *.bsa files, and the command-line companion, parlivex-cli,
which lists, describes, extracts and renders entries for scripts.")
# The libraries the programs link, with their versions, as dpkg-shlibdeps finds them in the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Adds the copyright file and the changelog, compresses the manual pages and drops the programs' unneeded
# sections, in the staged tree.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/finish_staging.cmake)
set(CPACK_PARLIVEX_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PARLIVEX_STRIP ${CMAKE_STRIP})
set(CPACK_PARLIVEX_BUILD_TYPE "${CMAKE_BUILD_TYPE}")

include(CPack)
