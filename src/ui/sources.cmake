# Files of src/ui: the services every window uses (message boxes, refresh requests, view options,
# the flashing seam, the Qt event loop for outgoing connections, the tray icon, shared texts)
list(APPEND KORVEL_APP_SOURCES
  ui/message_box.cpp
  ui/flash_platform.cpp
  ui/qt_event_loop.cpp
  ui/tray_icon.cpp
  ui/tray_pictures.cpp
  ui/refresh_requests.h
  ui/view_options.h)
