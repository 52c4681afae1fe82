# Files of src/faults
list(APPEND KORVEL_CORE_SOURCES
  faults/fault_rules.cpp
  faults/fault_rules_file.cpp)
