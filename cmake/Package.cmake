# The Debian package, built by CPack from the same install rules as `cmake --install`
# (scripts/build-deb.sh builds it: larkspan_<version>_<arch>.deb).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkspan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Oxbeck)
set(CPACK_PACKAGE_CONTACT "${LARKSPAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn the text of a PDF document into a plain-text file")
set(CPACK_PACKAGE_DESCRIPTION
  "Larkspan is a small desktop program that writes the text of a PDF document to a\n"
  "plain-text file. Pick an input PDF and an output text file, choose physical\n"
  "layout or content-stream order, page breaks and a page range, and start the\n"
  "extraction. It counts the pages of the document, asks for the password of an\n"
  "encrypted one and proposes the output file name.\n"
  "\n"
  "The text is read by pdftotext and pdfinfo from poppler-utils, through two small\n"
  "adapters installed beside the program. With the tesseract OCR engine installed,\n"
  "pages that hold only a scanned picture of text are recognised as well.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")

# Installed with the prefix /usr through DESTDIR, so the install rules see the real prefix and
# put the installation record into /etc/xdg.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${LARKSPAN_WEBSITE_URL}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The installation record is configuration: dpkg keeps an administrator's edit of it across
# upgrades and removes it on purge.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/conffiles)
# The Qt and C++ libraries come from dpkg-shlibdeps; what the program runs or loads by name
# at run time has to be listed: the poppler tools behind the adapters, xdg-open for opening the
# result and the links, and the interface font. Qt's xcb platform plugin needs no entry: in
# Debian 12 it is part of libqt6gui6 (qt6-qpa-plugins holds only the VNC and touch plugins).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "poppler-utils, xdg-utils, fonts-liberation2")
# The OCR engine for scanned pages is looked up when it is needed; without it such pages stay
# blank, as pdftotext leaves them. Its orientation and script model (osd) turns pages upright
# and tells each page's script; the models recommended read the most used scripts and
# languages, and any other model installed is used for its own script as well.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "tesseract-ocr, tesseract-ocr-eng, tesseract-ocr-osd, tesseract-ocr-deu, tesseract-ocr-fra, \
tesseract-ocr-spa, tesseract-ocr-ita, tesseract-ocr-por, tesseract-ocr-script-cyrl, \
tesseract-ocr-script-grek, tesseract-ocr-script-hans")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
  "tesseract-ocr-script-latn, tesseract-ocr-script-hant, tesseract-ocr-script-jpan, \
tesseract-ocr-script-hang, tesseract-ocr-script-arab, tesseract-ocr-script-hebr, \
tesseract-ocr-script-deva, tesseract-ocr-all")

include(CPack)
