# Files of src/shell: the entry point and the main window
list(APPEND KORVEL_APP_SOURCES
  shell/main_window.cpp
  shell/desktop_identity.cpp
  shell/korvel_icons.qrc
  shell/port_control.cpp
  shell/port_dialog.cpp
  shell/port_dialog.ui
  shell/process_priority.cpp
  shell/tooltip_switch.cpp
  shell/repaint_limiter.cpp)
