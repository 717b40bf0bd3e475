# Installed layout (the same for `cmake --install` into any prefix and for the Debian package):
#   <prefix>/lib/larkspan/          larkspan, textract.bin, pdfi.bin side by side (the program
#                                   folder: the program runs its tools from its own folder)
#   <prefix>/bin/larkspan           the launcher on PATH
#   <prefix>/share/applications/larkspan.desktop, <prefix>/share/metainfo/*.metainfo.xml,
#   <prefix>/share/icons/hicolor/*/apps/larkspan.*   (the icons: resources/CMakeLists.txt)
#   <prefix>/share/man/man1/larkspan.1.gz, <prefix>/share/doc/larkspan/
#   the installation record Oxbeck/Larkspan.conf: /etc/xdg for the prefix /usr, otherwise
#   <prefix>/etc/xdg, which the launcher puts first in XDG_CONFIG_DIRS.

set(LARKSPAN_APPSTREAM_ID example.larkspan.Larkspan)
set(LARKSPAN_MAINTAINER "Oxbeck <feedback@${LARKSPAN_WEBSITE_HOST}>")
set(LARKSPAN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/larkspan)

install(TARGETS larkspan RUNTIME DESTINATION ${LARKSPAN_PROGRAM_DIR})
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/larkspan-launcher.sh
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME larkspan)

# The installation record. The program only reads it; the installation writes it.
set(LARKSPAN_RECORD ${CMAKE_BINARY_DIR}/Larkspan.conf)
file(WRITE ${LARKSPAN_RECORD}
  "Version=${PROJECT_VERSION}\nWebsite=${LARKSPAN_WEBSITE_URL}\n")
# Where it goes is decided when installing, not when configuring: `cmake --install --prefix`
# and CPack (which installs with the prefix /usr) choose the prefix only then. The prefix /usr
# keeps it in /etc/xdg, where the XDG default finds it and where dpkg makes it a conffile; any
# other prefix keeps it inside the prefix, so an installation stays self-contained, needs no
# root for /etc, and is removed with its folder.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(larkspan_record_dir /etc/xdg/Oxbeck)
  else()
    set(larkspan_record_dir \"\${CMAKE_INSTALL_PREFIX}/etc/xdg/Oxbeck\")
  endif()
  file(INSTALL DESTINATION \"\${larkspan_record_dir}\" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES \"${LARKSPAN_RECORD}\")
")

# Desktop integration: the menu entry (its file name is what Qt reports as the Wayland app id
# and what X11 docks match against the window's class, so it stays larkspan.desktop), and the
# AppStream description that software centres show.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/larkspan.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The release date in the metainfo comes from the newest changelog entry, which must be the
# project's version: bumping the version without describing the release stops here.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog.in changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^larkspan \\(([^)]+)\\)")
  message(FATAL_ERROR "packaging/changelog.in: the first line is not a changelog entry")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog.in: the newest entry is ${CMAKE_MATCH_1}, the "
    "project version ${PROJECT_VERSION}; add an entry for ${PROJECT_VERSION}")
endif()
foreach(line ${changelog_lines})
  # " -- Name <address>  Wed, 09 Dec 2026 12:00:00 +0000"
  set(date_pattern "[A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  if(line MATCHES "^ -- .*  ${date_pattern}")
    set(day ${CMAKE_MATCH_1})
    set(month_name ${CMAKE_MATCH_2})
    set(year ${CMAKE_MATCH_3})
    break()
  endif()
endforeach()
if(NOT year)
  message(FATAL_ERROR "packaging/changelog.in: the newest entry has no date line")
endif()
set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND month_names ${month_name} month)
math(EXPR month "${month} + 1")
foreach(part month day)
  string(LENGTH "${${part}}" length)
  if(length EQUAL 1)
    set(${part} "0${${part}}")
  endif()
endforeach()
set(LARKSPAN_RELEASE_DATE ${year}-${month}-${day})

set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${LARKSPAN_APPSTREAM_ID}.metainfo.xml.in
               ${packaging_out}/${LARKSPAN_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_out}/${LARKSPAN_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog are installed compressed, as Debian policy asks; -n keeps
# the time stamp out, so the same sources give the same files.
find_program(LARKSPAN_GZIP gzip REQUIRED)
configure_file(${CMAKE_SOURCE_DIR}/packaging/larkspan.1 ${packaging_out}/larkspan.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${packaging_out}/changelog @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${packaging_out}/copyright @ONLY)
set(compressed)
foreach(name larkspan.1 changelog)
  add_custom_command(OUTPUT ${packaging_out}/${name}.gz
    COMMAND ${LARKSPAN_GZIP} -9 -n -c ${packaging_out}/${name} > ${packaging_out}/${name}.gz
    DEPENDS ${packaging_out}/${name}
    COMMENT "Compressing ${name}")
  list(APPEND compressed ${packaging_out}/${name}.gz)
endforeach()
add_custom_target(larkspan_packaging_files ALL DEPENDS ${compressed})
install(FILES ${packaging_out}/larkspan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.gz
        DESTINATION ${LARKSPAN_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME larkspan)

# A stripped installation (CPack, `cmake --install --strip`) also drops the compiler's
# .comment and .note sections, as Debian's own packages do. The three programs are installed
# by then: install rules run in the order they are declared.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program larkspan textract.bin pdfi.bin)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${LARKSPAN_PROGRAM_DIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()
")
