# Files of src/service: what both front-ends share at the QtCore level: the one server service,
# where and how a traffic log starts, the local time texts
list(APPEND KORVEL_QTCORE_SOURCES
  service/time_text.cpp
  service/log_start.cpp
  service/server_service.cpp)
