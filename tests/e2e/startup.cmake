# End-to-end tests of start-up: the real program on a private X server, driven with xdotool
# (see lib.sh). Each script takes the folder of the built program as its argument; the program
# must be built before ctest runs them.
set(larkspan_e2e_startup
  "Startup.MainWindowOpensCentredAndCtrlWExits=startup_main_window.sh"
  "Startup.SecondCopyWarnsAndLeavesFirstRunning=startup_second_copy.sh"
  "Startup.MissingRecordShowsErrorAndNeverTheMainWindow=startup_missing_record.sh"
  "Startup.CopyAfterFirstEndedStartsNormally=startup_after_first_ended.sh"
  "About.EscOpensNothingProductNameOpensWebsite=about_window.sh")
foreach(entry ${larkspan_e2e_startup})
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 script)
  add_test(NAME e2e.${name}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${script} $<TARGET_FILE_DIR:larkspan>)
  # Each finishes in a few seconds; the limit only catches a window that never comes or a box
  # nobody answers.
  set_tests_properties(e2e.${name} PROPERTIES LABELS e2e TIMEOUT 90)
endforeach()
