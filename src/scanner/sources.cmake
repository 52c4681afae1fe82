# Files of src/scanner
list(APPEND KORVEL_APP_SOURCES
  scanner/scanner_window.cpp)
