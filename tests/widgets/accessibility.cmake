# What assistive technology is told about each window, and keyboard use, without the
# accessibility bus (tests/e2e/accessibility.sh checks the same over it).
larkspan_test(accessibility_tests LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AccessibilityTest.cpp
  LIBS larkspan_gui larkspan_gui_seams)
