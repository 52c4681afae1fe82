# Files of src/net
list(APPEND KORVEL_CORE_SOURCES
  net/connect_socket.cpp
  net/epoll_loop.cpp
  net/socket_layer.cpp)
