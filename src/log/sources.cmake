# Files of src/log
list(APPEND KORVEL_CORE_SOURCES
  log/log_lines.cpp
  log/traffic_log.cpp)
