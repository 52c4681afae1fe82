# Files of src/dde
list(APPEND KORVEL_APP_SOURCES
  dde/dde_topic_windows.cpp)
