# Files of src/common
list(APPEND KORVEL_CORE_SOURCES
  common/numeric.cpp
  common/frame.cpp
  common/register_store.cpp
  common/modbus_protocol.cpp
  common/variable_list.cpp
  common/winsock_texts.cpp
  common/small_file.cpp)
