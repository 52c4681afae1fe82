# Files of src/common
list(APPEND KORVEL_CORE_SOURCES
  common/numeric.cpp)
list(APPEND KORVEL_APP_SOURCES
  common/message_box.cpp
  common/time_text.cpp)
