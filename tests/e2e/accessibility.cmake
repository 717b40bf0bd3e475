# The accessibility check over the desktop's accessibility bus (AT-SPI) and a keyboard-only
# extraction: the real program on a private X server and a private D-Bus session (see
# accessibility.sh).
larkspan_e2e_tests(
  "Accessibility.ScreenReaderFindsNamesTabGoesInReadingOrderKeysAloneExtract=accessibility.sh")
