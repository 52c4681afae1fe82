# Files of src/client
list(APPEND KORVEL_CORE_SOURCES
  client/one_off_requests.cpp)
list(APPEND KORVEL_APP_SOURCES
  client/client_window.cpp)
