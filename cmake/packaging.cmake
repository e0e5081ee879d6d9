# What `cmake --install` puts in place and what `cpack` packs: on Linux the
# console, its man page, the copyright and the changelog (a Debian package),
# on Windows the two executables, the README and the licence (a zip). Every
# version they tell is the project's.

# Who answers for the package. The project has no address of its own and none
# is made up, which lintian reports (README, Packages).
set(QUORVANE_CONTACT "Quorvane developers")

# copy_with_crlf SOURCE DESTINATION: the text with Windows line ends, for
# Notepad; made again when the source changes.
function(copy_with_crlf source destination)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
endfunction()

if(WIN32)
  copy_with_crlf(${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.txt)
  copy_with_crlf(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt)
  install(TARGETS quorvane_gui quorvane_cli RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  # The man page with the version in its header; it and the changelog
  # compressed as Debian wants them (gzip -9n: no name, no time).
  set(docs ${CMAKE_BINARY_DIR}/docs)
  configure_file(docs/quorvane.1 ${docs}/quorvane.1 @ONLY)
  set(debian_docs ${CMAKE_SOURCE_DIR}/cmake/debian_docs.sh)
  add_custom_command(OUTPUT ${docs}/quorvane.1.gz
    COMMAND gzip -9nkf ${docs}/quorvane.1
    DEPENDS ${docs}/quorvane.1 VERBATIM)
  add_custom_command(OUTPUT ${docs}/changelog.gz
    COMMAND sh ${debian_docs} changelog ${docs}/changelog.gz ${CMAKE_SOURCE_DIR}/CHANGELOG.md quorvane
            ${QUORVANE_CONTACT}
    DEPENDS ${debian_docs} ${CMAKE_SOURCE_DIR}/CHANGELOG.md VERBATIM)
  add_custom_command(OUTPUT ${docs}/copyright
    COMMAND sh ${debian_docs} copyright ${docs}/copyright ${CMAKE_SOURCE_DIR}/LICENSE
    DEPENDS ${debian_docs} ${CMAKE_SOURCE_DIR}/LICENSE VERBATIM)
  add_custom_target(package_docs ALL DEPENDS ${docs}/quorvane.1.gz ${docs}/changelog.gz ${docs}/copyright)

  install(TARGETS quorvane_cli RUNTIME DESTINATION bin)
  install(FILES ${docs}/quorvane.1.gz DESTINATION share/man/man1)
  install(FILES ${docs}/copyright ${docs}/changelog.gz DESTINATION share/doc/quorvane)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_STRIP_FILES ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The 32-bit build is linked statically: it needs nothing, and lintian is
    # told that this is meant.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
    install(FILES ${CMAKE_SOURCE_DIR}/cmake/lintian-static-override
      DESTINATION share/lintian/overrides RENAME quorvane)
  else()
    find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(DPKG_SHLIBDEPS)
      set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    else()
      set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
    endif()
  endif()
endif()
set(CPACK_PACKAGE_NAME quorvane)
# The version the programs print, all four parts.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT ${QUORVANE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the Whirlpool-512 digest of each file with the file")
# Lines within 80 columns, as Debian's control file wants them.
set(CPACK_PACKAGE_DESCRIPTION
  "Quorvane stores the Whirlpool-512 digest of each file's contents in the
extended attribute user.z (the NTFS stream z as ntfs-3g shows it) and later
lists the files whose contents changed and those without a digest.")
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX packages)
include(CPack)
