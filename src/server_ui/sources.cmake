# Files of src/server_ui: the server's parts of the main window
list(APPEND KORVEL_APP_SOURCES
  server_ui/server_connections.cpp
  server_ui/status_panel.cpp
  server_ui/modbus_options_menu.cpp
  server_ui/initialize_menu.cpp
  server_ui/logging_group.cpp
  server_ui/fault_rules_window.cpp)
