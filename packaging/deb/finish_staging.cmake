# Run by CPack after installing into its staging folder and before packing it: adds what a Debian package
# needs beside the install rules' files, compresses the manual pages as Debian keeps them, and removes the
# sections of the programs that only say how they were built (as Debian's own packaging does).
if(NOT CPACK_PARLIVEX_BUILD_TYPE STREQUAL "Release")
  message(WARNING "Packing a ${CPACK_PARLIVEX_BUILD_TYPE} build: tools/build-deb.sh packs a Release build")
endif()

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${root}/bin")
  message(FATAL_ERROR "Expected the staged programs in ${root}/bin, found no such folder")
endif()

function(gzip_in_place file)
  # -n: no name or time stamp inside, so that the same sources make the same package.
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${file}")
  endif()
endfunction()

set(doc "${root}/share/doc/${CPACK_DEBIAN_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_PARLIVEX_PACKAGING_DIR}/copyright" "${doc}/copyright")
# The date of the sources' last commit when tools/build-deb.sh gives it (SOURCE_DATE_EPOCH), else now.
string(TIMESTAMP PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${CPACK_PARLIVEX_PACKAGING_DIR}/changelog.in" "${doc}/changelog" @ONLY)
gzip_in_place("${doc}/changelog")
file(CHMOD "${doc}/copyright" "${doc}/changelog.gz" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(CHMOD "${doc}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                           WORLD_READ WORLD_EXECUTE)

file(GLOB manual_pages "${root}/share/man/man*/*")
foreach(page IN LISTS manual_pages)
  if(NOT page MATCHES "\\.gz$")
    gzip_in_place("${page}")
  endif()
endforeach()

file(GLOB programs "${root}/bin/*")
foreach(program IN LISTS programs)
  file(READ "${program}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_PARLIVEX_STRIP}" --remove-section=.comment --remove-section=.note
                            "${program}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "${CPACK_PARLIVEX_STRIP} could not strip ${program}")
    endif()
  endif()
endforeach()
