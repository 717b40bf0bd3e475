# The layers include only downwards: core below platform below GUI (tests/layers/CheckLayers.cmake
# reads the sources each library is built from).
set(layer_lists "")
foreach(layer core platform gui)
  get_target_property(layer_sources larkspan_${layer} SOURCES)
  list(FILTER layer_sources INCLUDE REGEX "^${CMAKE_SOURCE_DIR}/src/.*\\.cpp$")
  string(APPEND layer_lists "${layer};${layer_sources}\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/layers.txt "${layer_lists}")
add_test(NAME layers.IncludesReachOnlyLowerLayers
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DLISTS=${CMAKE_BINARY_DIR}/layers.txt
          -P ${CMAKE_SOURCE_DIR}/tests/layers/CheckLayers.cmake)
set_tests_properties(layers.IncludesReachOnlyLowerLayers PROPERTIES LABELS unit TIMEOUT 60)
