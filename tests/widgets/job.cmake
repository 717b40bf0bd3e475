# The extraction job and the start/stop button. The real-extractor tests run the adapters from
# the build's bin folder; the exit tests run small programs that end while a job lives or a
# thread ends.
add_executable(job-exit-scenario ${CMAKE_CURRENT_LIST_DIR}/JobExitScenario.cpp)
target_link_libraries(job-exit-scenario PRIVATE larkspan_app larkspan_test_pdfs)
set_target_properties(job-exit-scenario PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
larkspan_warnings(job-exit-scenario)
add_executable(program-end-scenario ${CMAKE_CURRENT_LIST_DIR}/ProgramEndScenario.cpp)
target_link_libraries(program-end-scenario PRIVATE larkspan_gui)
set_target_properties(program-end-scenario PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
larkspan_warnings(program-end-scenario)

larkspan_test(job_test LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConversionProcessTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StartStopTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/JobExitTest.cpp
  LIBS larkspan_gui larkspan_gui_seams larkspan_test_pdfs)
# (Under wine, drive Z: is the Unix root.)
target_compile_definitions(job_test PRIVATE
  JOB_EXIT_SCENARIO="$<$<BOOL:${WIN32}>:Z:>$<TARGET_FILE:job-exit-scenario>"
  PROGRAM_END_SCENARIO="$<$<BOOL:${WIN32}>:Z:>$<TARGET_FILE:program-end-scenario>")
add_dependencies(job_test textract.bin pdfi.bin job-exit-scenario program-end-scenario)

# The extraction benchmark (scripts/bench-extraction.sh), built only on request.
add_executable(extraction-bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/extraction_bench.cpp)
target_link_libraries(extraction-bench PRIVATE larkspan_gui larkspan_test_pdfs)
target_compile_definitions(extraction-bench PRIVATE LARKSPAN_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
larkspan_warnings(extraction-bench)
add_dependencies(extraction-bench textract.bin pdfi.bin)
