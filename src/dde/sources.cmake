# Files of src/dde
list(APPEND KORVEL_QTCORE_SOURCES
  dde/bus_names.cpp
  dde/dde_topic.cpp
  dde/dde_thread.cpp
  dde/fault_control.cpp
  dde/publishing_passes.cpp
  dde/publishing_topic.cpp
  dde/server_control.cpp)
