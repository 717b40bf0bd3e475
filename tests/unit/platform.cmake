# The platform layer: instance lock, installation records, shell opening, the console runner,
# processes, file helpers and the network transport, plus the record format the POSIX layer
# reads. Tests whose expectations hold on every system are shared; the rest are per system, as
# the layer itself is.
set(platform_test_dir ${CMAKE_CURRENT_LIST_DIR}/platform)
set(platform_test_sources
  ${platform_test_dir}/InstanceLockTest.cpp
  ${platform_test_dir}/FilesTest.cpp
  ${platform_test_dir}/PolicyTest.cpp)
if(WIN32)
  list(APPEND platform_test_sources
    ${platform_test_dir}/win32/RegistryTest.cpp
    ${platform_test_dir}/win32/ConsoleRunnerTest.cpp
    ${platform_test_dir}/win32/CapturedRunTest.cpp
    ${platform_test_dir}/win32/ShellOpenTest.cpp
    ${platform_test_dir}/win32/FilesTest.cpp
    ${platform_test_dir}/win32/TcpTransportTest.cpp)
else()
  list(APPEND platform_test_sources
    ${platform_test_dir}/InstallRecordTest.cpp
    ${platform_test_dir}/ShellOpenTest.cpp
    ${platform_test_dir}/ConsoleRunnerTest.cpp
    ${platform_test_dir}/posix/InstanceLockTest.cpp
    ${platform_test_dir}/posix/FilesTest.cpp
    ${platform_test_dir}/ShellRoundTripTest.cpp)
endif()
larkspan_test(platform_tests LABEL unit
  SOURCES ${platform_test_sources}
  LIBS larkspan_test_pdfs larkspan_platform)
if(WIN32)
  # The program the Windows tests start (its commands are listed at the top of its source).
  # wmain, so its arguments arrive in UTF-16 as the C runtime splits them; static, so that
  # copies of it run from any folder.
  add_executable(platform_test_child ${platform_test_dir}/win32/ChildProgram.cpp)
  target_link_options(platform_test_child PRIVATE -municode -static)
  target_link_libraries(platform_test_child PRIVATE ntdll advapi32)
  set_target_properties(platform_test_child PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  larkspan_warnings(platform_test_child)
  add_dependencies(platform_tests platform_test_child)
  # The tests write registry values and run a socket peer of their own.
  target_link_libraries(platform_tests PRIVATE advapi32 ws2_32)
endif()
