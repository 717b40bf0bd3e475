# Prints the size of the Windows installer and of the program folder it installs (the payload,
# without the uninstaller Setup writes beside it), and keeps both lines in REPORT:
#   cmake -DSETUP=<Setup.exe> -DPAYLOAD=<payload folder> -DREPORT=<file> -P InstallerSizes.cmake
file(SIZE "${SETUP}" setup_bytes)
file(GLOB_RECURSE payload_files LIST_DIRECTORIES false "${PAYLOAD}/*")
set(payload_bytes 0)
list(LENGTH payload_files payload_count)
foreach(payload_file IN LISTS payload_files)
  file(SIZE "${payload_file}" bytes)
  math(EXPR payload_bytes "${payload_bytes} + ${bytes}")
endforeach()

# Megabytes of a million bytes, with one decimal.
function(megabytes bytes out)
  math(EXPR tenths "(${bytes} + 50000) / 100000")
  math(EXPR whole "${tenths} / 10")
  math(EXPR decimal "${tenths} % 10")
  set(${out} "${whole}.${decimal} MB" PARENT_SCOPE)
endfunction()
megabytes(${setup_bytes} setup_size)
megabytes(${payload_bytes} payload_size)
get_filename_component(setup_name "${SETUP}" NAME)
set(report "${setup_name}: ${setup_size} (${setup_bytes} bytes)
installs: ${payload_size} (${payload_bytes} bytes) in ${payload_count} files into Program Files\\Larkspan, and its uninstaller
")
file(WRITE "${REPORT}" "${report}")
message("${report}")
