# The console adapters textract.bin and pdfi.bin: the contract's rules on plain values, the
# process runner they use, and the built adapters over the real poppler tools on PDFs the tests
# write themselves. On Windows the process runner has its own tests (platform.cmake), and the
# adapters are run through cmd.exe as the program runs them.
if(WIN32)
  set(tools_test_sources
    ${CMAKE_CURRENT_LIST_DIR}/tools/ToolContractTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/win32/AdaptersTest.cpp)
else()
  set(tools_test_sources
    ${CMAKE_CURRENT_LIST_DIR}/tools/ToolContractTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/CapturedRunTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/AdaptersTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/JobAsUserTest.cpp)
endif()
# Recognising the pages of the scanned-page tests takes the engine up to half a minute on an
# otherwise idle two-core machine (two huge pages at 40 megapixels each; eleven small pages in
# nine scripts and languages) and several minutes on one that other builds keep busy, hence the
# longer limit.
larkspan_test(tools_test LABEL unit TIMEOUT 400
  SOURCES ${tools_test_sources}
  LIBS larkspan_test_pdfs larkspan_platform larkspan_core
  DEPENDS textract.bin pdfi.bin)
