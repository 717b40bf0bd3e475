set(main_window_sources
  ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FilenameEditTest.cpp)
if(NOT WIN32)
  # Runs the program without an X11 or Wayland display; a Windows session always has one.
  list(APPEND main_window_sources ${CMAKE_CURRENT_LIST_DIR}/StartupTest.cpp)
endif()
larkspan_test(main_window_test LABEL widgets
  SOURCES ${main_window_sources}
  LIBS larkspan_gui larkspan_gui_seams)
# The host built into the program, for the test of the run-time override.
target_compile_definitions(main_window_test PRIVATE
  BUILT_IN_WEBSITE_HOST="${LARKSPAN_WEBSITE_HOST}")
# The start-up test runs the program itself.
add_dependencies(main_window_test larkspan)
