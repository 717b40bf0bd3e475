larkspan_test(pictures_tests LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PicturesTest.cpp
  LIBS larkspan_gui)
# The installed theme icons are build products too; check them where the build leaves them.
add_dependencies(pictures_tests larkspan_icons)
target_compile_definitions(pictures_tests PRIVATE
  LARKSPAN_ICON_DIR="${CMAKE_BINARY_DIR}/resources/icons")
