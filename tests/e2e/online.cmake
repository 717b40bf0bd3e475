# End-to-end tests of the online parts: the real program on a private X server against loopback
# servers (see lib.sh and online_lib.sh). The program, the vendor stand-in and the silent server
# must be built before ctest runs them.

# A vendor server that takes requests and never answers.
add_executable(online-silent-server ${CMAKE_CURRENT_LIST_DIR}/online_silent_server.cpp)
set_target_properties(online-silent-server PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
larkspan_warnings(online-silent-server)

larkspan_e2e_tests(
  "Online.TutorialButtonThenUpgradeDownloadsOpensAndEnds=online_upgrade.sh"
  "Online.ClosingWhileTheCheckWaitsEndsAtOnce=online_close_while_waiting.sh"
  "Online.ABodyCutShortIsAnErrorAndLeavesNothing=online_short_body.sh"
  "Online.AnOverflowingChunkSizeIsAnErrorAndLeavesNothing=online_overflowing_chunk.sh"
  "Online.CancelAnswersAtOnceWhileTheServerTrickles=online_trickle_cancel.sh")
