# Installs the build below a staging folder (DESTDIR, prefix /usr), as packagers and the Debian package do, and
# checks what is there: every file of the programs and their desktop integration in its place, and the
# programs stripped unless the build was told not to strip them.
#   cmake -DBUILD_DIR=... -DSTAGE=... -DREADELF=... -DEXPECT_STRIPPED=ON|OFF -P check_staged_install.cmake

set(failures "")
macro(fail text)
  string(APPEND failures "\n  ${text}")
endmacro()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${STAGE}"
                        ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix /usr
                RESULT_VARIABLE install_failed OUTPUT_VARIABLE install_output ERROR_VARIABLE install_output)
if(install_failed)
  message(FATAL_ERROR "cmake --install failed:\n${install_output}")
endif()

set(root "${STAGE}/usr")
foreach(file IN ITEMS bin/parlivex bin/parlivex-cli share/applications/parlivex.desktop
                      share/mime/packages/parlivex-bsa.xml share/icons/hicolor/scalable/apps/parlivex.svg)
  if(NOT EXISTS "${root}/${file}")
    fail("missing: /usr/${file}")
  endif()
endforeach()

if(EXPECT_STRIPPED)
  foreach(program IN ITEMS parlivex parlivex-cli)
    if(EXISTS "${root}/bin/${program}")
      execute_process(COMMAND "${READELF}" -S -W "${root}/bin/${program}" OUTPUT_VARIABLE sections
                      RESULT_VARIABLE readelf_failed)
      if(readelf_failed)
        fail("readelf could not read /usr/bin/${program}")
      endif()
      string(REGEX MATCHALL "\\.symtab|\\.debug_[a-z_]+" unstripped "${sections}")
      if(unstripped)
        list(REMOVE_DUPLICATES unstripped)
        fail("/usr/bin/${program} is not stripped: it has ${unstripped}")
      endif()
    endif()
  endforeach()
endif()

if(failures)
  message(FATAL_ERROR "The staged install below ${STAGE} is wrong:${failures}")
endif()
message(STATUS "The staged install below ${STAGE} holds what it should")
