# Files of src/shell
list(APPEND KORVEL_CORE_SOURCES
  shell/flash_rules.cpp)
list(APPEND KORVEL_APP_SOURCES
  shell/main_window.cpp
  shell/desktop_identity.cpp
  shell/korvel_icons.qrc
  shell/flash_platform.cpp
  shell/port_control.cpp
  shell/port_dialog.cpp
  shell/process_priority.cpp
  shell/tooltip_switch.cpp
  shell/tray_icon.cpp
  shell/tray_pictures.cpp
  shell/repaint_limiter.cpp
  shell/refresh_requests.h)
list(APPEND KORVEL_QTCORE_SOURCES
  shell/atom_registry.cpp
  shell/port_reservation.cpp
  shell/termination_signals.cpp)
