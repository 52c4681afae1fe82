# Files of src/dde
list(APPEND KORVEL_APP_SOURCES
  dde/dde_topic_windows.cpp)
list(APPEND KORVEL_QTCORE_SOURCES
  dde/server_control.cpp)
