# Files of src/server
list(APPEND KORVEL_CORE_SOURCES
  server/request_check.cpp
  server/framing.cpp
  server/server_runtime.cpp
  server/server_thread.cpp
  server/server_engine.cpp
  server/panel_rules.cpp)
list(APPEND KORVEL_APP_SOURCES
  server/server_connections.cpp
  server/status_panel.cpp
  server/modbus_options_menu.cpp
  server/initialize_menu.cpp)
