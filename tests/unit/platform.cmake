# The platform layer: instance lock, installation records, shell opening, the console runner
# and file helpers, plus the record format the POSIX layer reads. Tests whose expectations hold
# on every system are shared; the rest are per system, as the layer itself is.
set(platform_test_dir ${CMAKE_CURRENT_LIST_DIR}/platform)
set(platform_test_sources
  ${platform_test_dir}/InstanceLockTest.cpp
  ${platform_test_dir}/FilesTest.cpp
  ${platform_test_dir}/PolicyTest.cpp)
list(APPEND platform_test_sources
  ${platform_test_dir}/InstallRecordTest.cpp
  ${platform_test_dir}/ShellOpenTest.cpp
  ${platform_test_dir}/ConsoleRunnerTest.cpp
  ${platform_test_dir}/posix/InstanceLockTest.cpp
  ${platform_test_dir}/posix/FilesTest.cpp)
larkspan_test(platform_tests LABEL unit
  SOURCES ${platform_test_sources}
  LIBS larkspan_platform)
