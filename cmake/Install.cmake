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
install(FILES ${LARKSPAN_RECORD} DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/Oxbeck)
