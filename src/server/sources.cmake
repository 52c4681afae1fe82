# Files of src/server
list(APPEND KORVEL_CORE_SOURCES
  server/request_check.cpp
  server/framing.cpp
  server/server_runtime.cpp
  server/server_thread.cpp
  server/server_engine.cpp
  server/panel_rules.cpp
  server/fault_table_rules.cpp)
