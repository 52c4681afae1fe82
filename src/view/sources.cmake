# Files of src/view
list(APPEND KORVEL_CORE_SOURCES
  view/variable_list.cpp)
