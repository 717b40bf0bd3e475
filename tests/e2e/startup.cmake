# End-to-end tests of start-up: the real program on a private X server, driven with xdotool
# (see lib.sh). Each script takes the folder of the built program as its argument; the program
# must be built before ctest runs them.
larkspan_e2e_tests(
  "Startup.MainWindowOpensCentredAndCtrlWExits=startup_main_window.sh"
  "Startup.SecondCopyWarnsAndLeavesFirstRunning=startup_second_copy.sh"
  "Startup.MissingRecordShowsErrorAndNeverTheMainWindow=startup_missing_record.sh"
  "Startup.CopyAfterFirstEndedStartsNormally=startup_after_first_ended.sh"
  "About.EscOpensNothingProductNameOpensWebsite=about_window.sh")
