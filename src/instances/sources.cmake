# Files of src/instances: how several instances of the window and of korvel-server share ports,
# flashing and the end on a signal
list(APPEND KORVEL_QTCORE_SOURCES
  instances/atom_registry.cpp
  instances/port_reservation.cpp
  instances/termination_signals.cpp)
