# Installed layout:
#   <prefix>/lib/larkspan/   larkspan, textract.bin, pdfi.bin side by side (the program folder)
#   <prefix>/bin/larkspan    launcher on PATH
#   <sysconfdir>/xdg/Oxbeck/Larkspan.conf   the installation record (read only by the program)


install(TARGETS larkspan RUNTIME DESTINATION ${LARKSPAN_PROGRAM_DIR})
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/larkspan-launcher.sh
        DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME larkspan)

set(LARKSPAN_RECORD ${CMAKE_BINARY_DIR}/Larkspan.conf)
file(WRITE ${LARKSPAN_RECORD}
  "Version=${PROJECT_VERSION}\nWebsite=${LARKSPAN_WEBSITE_URL}\n")
# A system installation (prefix /usr) keeps its record in /etc/xdg, where the XDG default
# configuration path finds it; any other prefix keeps it inside the prefix, relative, so that
# `cmake --install --prefix <dir>` moves it along and the launcher can point the program at it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(LARKSPAN_RECORD_DIR /etc/xdg/Oxbeck)
else()
  set(LARKSPAN_RECORD_DIR etc/xdg/Oxbeck)
endif()
install(FILES ${LARKSPAN_RECORD} DESTINATION ${LARKSPAN_RECORD_DIR})
