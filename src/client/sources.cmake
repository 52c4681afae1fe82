# Files of src/client: the client window and its panels
list(APPEND KORVEL_APP_SOURCES
  client/client_menu.cpp
  client/client_window.cpp
  client/event_list.cpp
  client/flash_ticker.cpp
  client/outgoing_connection.cpp
  client/poll_list_panel.cpp
  client/polling_panel.cpp
  client/series_dialog.cpp
  client/series_dialog.ui
  client/server_ip_dialog.cpp
  client/server_ip_dialog.ui
  client/status_line.cpp
  client/up_down.cpp
  client/write_mask_window.cpp)
