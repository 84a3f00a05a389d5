# The copyright file and the changelog, in the forms Debian reads in every package's documentation
# folder. Both are made from files the project keeps anyway, so that nothing is said twice.

# The copyright file, machine-readable: the licence's holder and text as LICENSE has them.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDER'")
endif()
set(TOVALIN_COPYRIGHT ${CMAKE_MATCH_1})
string(FIND "${license}" "Permission is hereby granted" start)
if(start LESS 0)
  message(FATAL_ERROR "LICENSE does not hold the MIT licence's text")
endif()
# The text as a field's continuation lines: each line indented, an empty line written as ".".
string(SUBSTRING "${license}" ${start} -1 text)
string(STRIP "${text}" text)
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " TOVALIN_LICENSE_TEXT " ${text}")
configure_file(copyright.in copyright @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The changelog: its newest entry must be the project's version, so that a new version cannot
# ship with the old entry on top.
file(STRINGS changelog.in newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^tovalin \\(([^)]+)\\)")
  message(FATAL_ERROR "packaging/changelog.in does not start with an entry 'tovalin (VERSION) ...'")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog.in's newest entry is for ${CMAKE_MATCH_1}, the project "
                      "is ${PROJECT_VERSION}: write the entry for ${PROJECT_VERSION} on top")
endif()
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog)
configure_file(changelog.in ${changelog} @ONLY)
# Compressed without a name or time in its header, so that the same text gives the same bytes.
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND gzip -9nkf ${changelog}
  DEPENDS ${changelog}
  COMMENT "Compressing the changelog")
add_custom_target(compressed_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
