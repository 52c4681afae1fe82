# Files of src/net
list(APPEND KORVEL_CORE_SOURCES
  net/connect_socket.cpp
  net/epoll_loop.cpp
  net/socket_layer.cpp)
list(APPEND KORVEL_APP_SOURCES
  net/qt_event_loop.cpp)
