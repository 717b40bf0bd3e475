larkspan_test(main_window_test LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FilenameEditTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StartupTest.cpp
  LIBS larkspan_gui larkspan_gui_seams)
# The host built into the program, for the test of the run-time override.
target_compile_definitions(main_window_test PRIVATE
  BUILT_IN_WEBSITE_HOST="${LARKSPAN_WEBSITE_HOST}")
# The start-up test runs the program itself.
add_dependencies(main_window_test larkspan)
