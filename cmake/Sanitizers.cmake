# Instrumented builds: sanitizers for the test suite and libFuzzer targets for the parsers.
# Both apply to every target of the build, so each lives in a build folder of its own
# (scripts/sanitize.sh, scripts/fuzz.sh).
#
#   -DLARKSPAN_SANITIZE=address,undefined   AddressSanitizer (with LeakSanitizer) and UBSan
#   -DLARKSPAN_SANITIZE=thread              ThreadSanitizer
#   -DLARKSPAN_FUZZ=ON                      libFuzzer targets in tests/fuzz (clang only), with
#                                           ASan and UBSan unless LARKSPAN_SANITIZE says otherwise

set(LARKSPAN_SANITIZE "" CACHE STRING "Sanitizers for every target: address,undefined or thread")
option(LARKSPAN_FUZZ "Build the libFuzzer targets of tests/fuzz (clang only)" OFF)

if(LARKSPAN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR
      "LARKSPAN_FUZZ needs clang (libFuzzer), but the C++ compiler is "
      "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}. Configure a fresh build folder "
      "with -DCMAKE_CXX_COMPILER=clang++ (Debian: apt-get install clang libclang-rt-14-dev).")
  endif()
  if(LARKSPAN_SANITIZE STREQUAL "")
    set(LARKSPAN_SANITIZE "address,undefined")
  endif()
endif()

if(NOT LARKSPAN_SANITIZE STREQUAL "")
  if(LARKSPAN_SANITIZE MATCHES "thread" AND LARKSPAN_SANITIZE MATCHES "address")
    message(FATAL_ERROR "LARKSPAN_SANITIZE: thread and address cannot be combined")
  endif()
  # -O1 keeps the instrumented tests quick without inlining away the frames a report needs.
  set(sanitize_flags -fsanitize=${LARKSPAN_SANITIZE} -fno-omit-frame-pointer -g -O1)
  if(LARKSPAN_SANITIZE MATCHES "undefined")
    # Every UBSan finding stops the program, so a test or the fuzzer fails on it instead of
    # printing a line nobody reads.
    list(APPEND sanitize_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${sanitize_flags})
  add_link_options(-fsanitize=${LARKSPAN_SANITIZE})
  if(LARKSPAN_FUZZ)
    # Coverage feedback for the libraries; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()
