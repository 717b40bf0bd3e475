# larkspan_version_resource(OUT DESCRIPTION FILENAME): the VERSIONINFO resource statement of a
# Windows program of ours, as Explorer's Properties show it (the project's version, Oxbeck,
# Larkspan, the file's own description and name), for a generated .rc file.
function(larkspan_version_resource out description filename)
  string(REPLACE "." "," numbers "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
  set(${out} "1 VERSIONINFO
FILEVERSION ${numbers}
PRODUCTVERSION ${numbers}
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"CompanyName\", \"Oxbeck\"
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${PROJECT_VERSION}\"
      VALUE \"OriginalFilename\", \"${filename}\"
      VALUE \"ProductName\", \"Larkspan\"
      VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
" PARENT_SCOPE)
endfunction()
