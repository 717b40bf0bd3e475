larkspan_test(probe_fields_test LABEL widgets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProbeTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PasswordPromptTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FileFieldsTest.cpp
  LIBS larkspan_gui larkspan_gui_seams larkspan_test_pdfs)
# The probe runs the real information tool from the build's bin folder.
add_dependencies(probe_fields_test pdfi.bin textract.bin)
