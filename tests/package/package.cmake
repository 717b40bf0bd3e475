# Installation tests: a developer's `cmake --install` into a prefix, and the Debian package
# installed on this machine, used and purged again (root or passwordless sudo; skipped
# otherwise). Both need the whole build, as ctest after scripts/build.sh has it.
add_executable(package-test-pdf ${CMAKE_CURRENT_LIST_DIR}/MakePdf.cpp)
target_link_libraries(package-test-pdf PRIVATE larkspan_test_pdfs)
set_target_properties(package-test-pdf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
larkspan_warnings(package-test-pdf)

add_test(NAME package.PrefixInstallHasTheLayoutAndStartsFromItsLauncher
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/prefix_install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package.PrefixInstallHasTheLayoutAndStartsFromItsLauncher PROPERTIES
  LABELS package SKIP_RETURN_CODE 77 TIMEOUT 120)

# Alone: while the package is installed, /etc/xdg holds a Larkspan record that the other
# tests do not expect.
add_test(NAME package.DebInstallsConvertsAPdfAndPurgesCleanly
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package.DebInstallsConvertsAPdfAndPurgesCleanly PROPERTIES
  LABELS package SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 600)
