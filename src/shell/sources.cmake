# Files of src/shell
list(APPEND KORVEL_APP_SOURCES
  shell/main_window.cpp)
