# What `cmake --install` puts where, and how CPack packs it (scripts/package.sh
# runs both): on Windows builds a zip of the two programs with a README and
# the licence; natively a Debian package of ravolin-cli with its man page.
set(CPACK_PACKAGE_NAME ravolin-cli)
set(CPACK_PACKAGE_VENDOR "the Ravolin authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn runs of spaces in C sources into tabs, keeping every column")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# Only what `install` names; the build folder holds tests and tools too.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(bits win64)
  else()
    set(bits win32)
  endif()
  # Everything in one folder named after the release, so unpacking puts
  # nothing loose beside the user's other files.
  install(TARGETS Ravolin ravolin-cli RUNTIME DESTINATION .)
  # Windows users open .txt files; the README in CR LF lines with a byte
  # order mark, so that every Notepad reads its Japanese half.
  configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
                 ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
                 COPYONLY)
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
  string(REPLACE "\n" "\r\n" licence "${licence}")
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt "${licence}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Ravolin-${PROJECT_VERSION}-${bits})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(doc share/doc/ravolin-cli)
  install(TARGETS ravolin-cli RUNTIME DESTINATION bin)
  if(HELP2MAN)
    install(FILES ${CMAKE_BINARY_DIR}/ravolin-cli.1.gz DESTINATION share/man/man1)
  endif()
  # Debian's copyright file in its machine-readable form, the licence text
  # taken from LICENSE (blank lines as " .", as the format wants).
  file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE licence_lines)
  list(FIND licence_lines "Permission is hereby granted, free of charge, to any person obtaining a copy" first)
  list(SUBLIST licence_lines ${first} -1 licence_lines)
  set(copyright "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
                "Upstream-Name: Ravolin\n\nFiles: *\nCopyright: 2026 the Ravolin authors\n"
                "License: Expat\n")
  foreach(line IN LISTS licence_lines)
    if(line STREQUAL "")
      string(APPEND copyright " .\n")
    else()
      string(APPEND copyright " ${line}\n")
    endif()
  endforeach()
  string(REPLACE ";" "" copyright "${copyright}")
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/copyright ${copyright})
  # A native package's changelog: the release and the date of its commit.
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(release_epoch $ENV{SOURCE_DATE_EPOCH})
  else()
    string(TIMESTAMP release_epoch "%s" UTC)
  endif()
  execute_process(COMMAND date -u -R -d @${release_epoch} OUTPUT_VARIABLE release_date
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(RAVOLIN_MAINTAINER "the Ravolin authors <ravolin@example.org>" CACHE STRING
      "Maintainer of the Debian package: name <address>")
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/changelog
       "ravolin-cli (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
       "  * Release ${PROJECT_VERSION}.\n\n -- ${RAVOLIN_MAINTAINER}  ${release_date}\n")
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
  add_custom_target(ravolin-cli-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/packaging/copyright
                ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${doc})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${RAVOLIN_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_FILE_NAME ravolin-cli_${PROJECT_VERSION}_amd64.deb)
  set(CPACK_PACKAGE_DESCRIPTION
      "Rewrites C source files in place so that runs of spaces become tabs while\n"
      "every character after a run keeps its display column. It knows C's lexical\n"
      "structure (string literals are never touched), Shift-JIS and UTF-8, keeps a\n"
      "backup of every file it converts and can check, diff and undo.")
  string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  # Depends from the libraries the binary links (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
