# Files of src/server
list(APPEND KORVEL_CORE_SOURCES
  server/register_store.cpp
  server/frame.cpp
  server/request_check.cpp
  server/server_engine.cpp
  server/panel_rules.cpp)
