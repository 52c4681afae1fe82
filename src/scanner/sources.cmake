# Files of src/scanner
list(APPEND KORVEL_APP_SOURCES
  scanner/scan_result_list.cpp
  scanner/scanner_window.cpp)
