larkspan_test(main_window_test LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FilenameEditTest.cpp
  LIBS larkspan_gui larkspan_gui_seams)
# The host built into the program, for the test of the run-time override.
target_compile_definitions(main_window_test PRIVATE
  BUILT_IN_WEBSITE_HOST="${LARKSPAN_WEBSITE_HOST}")
