# Files of src/service: the one server service both front-ends use
list(APPEND KORVEL_QTCORE_SOURCES
  service/server_service.cpp)
