# Files of src/rules: the pure decisions of the QtCore and window parts above (flashing together,
# publishing, the register list's formats, korvel-server's options), without Qt
list(APPEND KORVEL_CORE_SOURCES
  rules/flash_rules.cpp
  rules/publishing_rules.cpp
  rules/register_view_rules.cpp
  rules/server_options.cpp
  rules/window_arguments.cpp)
