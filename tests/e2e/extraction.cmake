# End-to-end tests of the extraction: the real program on a private X server, driven with
# xdotool (see lib.sh and extraction_lib.sh), against the real tool adapters and poppler. The
# program, its two tools and the PDF maker are built by default, so ctest finds them.

# Writes a PDF with known words to the path it is given.
add_executable(e2e-make-pdf ${CMAKE_CURRENT_LIST_DIR}/extraction_make_pdf.cpp)
target_link_libraries(e2e-make-pdf PRIVATE larkspan_test_pdfs)
set_target_properties(e2e-make-pdf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
larkspan_warnings(e2e-make-pdf)

larkspan_e2e_tests(
  "Extraction.PickedPdfIsExtractedWithCrLfAndOpened=extraction_plain.sh"
  "Extraction.EncryptedPdfAsksPasswordWithShellCharactersThenExtracts=extraction_encrypted.sh"
  "Extraction.HostileFileNameIsExtractedAndNeverRun=extraction_hostile_name.sh"
  "Extraction.DamagedPdfWarnsClearsInputAndWritesNothing=extraction_damaged.sh"
  "Extraction.ConfirmedStopEndsALongExtractionAtOnce=extraction_stop.sh"
  "Extraction.FullDiskFailsTheJobNamingTheFileAndLeavesNothing=extraction_full_disk.sh"
  "Extraction.InputReplacedDuringTheJobGivesOneDocumentOrAnError=extraction_input_replaced.sh"
  "Extraction.LongExtractionShowsItsProgressAndAFairEstimate=extraction_progress.sh")
# The full disk is a tmpfs, which only root or a user namespace can mount: skipped without.
set_tests_properties(e2e.Extraction.FullDiskFailsTheJobNamingTheFileAndLeavesNothing PROPERTIES
  SKIP_RETURN_CODE 77)
# Its document of 300,000 pages is made, probed and extracted within some 30 s on a busy machine;
# the limit leaves room for a machine busier still. Alone: the estimate it checks assumes that
# the machine's pace stays the same, which other tests starting and ending beside it would
# change.
set_tests_properties(e2e.Extraction.LongExtractionShowsItsProgressAndAFairEstimate PROPERTIES
  TIMEOUT 180 RUN_SERIAL TRUE)
# Its last document is a scanned page, which the recognition engine reads in seconds on an idle
# machine and in minutes on one that is busy with other work.
set_tests_properties(e2e.Extraction.PickedPdfIsExtractedWithCrLfAndOpened PROPERTIES TIMEOUT 240)
