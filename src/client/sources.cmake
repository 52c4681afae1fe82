# Files of src/client
list(APPEND KORVEL_APP_SOURCES
  client/client_window.cpp)
