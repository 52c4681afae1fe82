# Files of src/dde_ui: the publishing's dialogs and its place in the main window
list(APPEND KORVEL_APP_SOURCES
  dde_ui/dde_selections.cpp
  dde_ui/dde_server.cpp
  dde_ui/dde_topic_windows.cpp)
