# Files of src/view
list(APPEND KORVEL_APP_SOURCES
  view/column_slice.cpp
  view/register_list_build.cpp
  view/register_list_model.cpp
  view/register_list_view.cpp
  view/rw_column_menu.cpp
  view/set_value_dialog.cpp
  view/variable_list_file.cpp)
