# Files of src/headless (korvel-server; its main.cpp is the executable's own)
list(APPEND KORVEL_QTCORE_SOURCES
  headless/headless_server.cpp)
