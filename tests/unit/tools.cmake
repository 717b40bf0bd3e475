# The console adapters textract.bin and pdfi.bin: the contract's rules on plain values, the
# process runner they use, and the built adapters over the real poppler tools on PDFs the tests
# write themselves.
larkspan_test(tools_test LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tools/ToolContractTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/CapturedRunTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/AdaptersTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/JobAsUserTest.cpp
  LIBS larkspan_test_pdfs larkspan_platform larkspan_core
  DEPENDS textract.bin pdfi.bin)
