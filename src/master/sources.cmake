# Files of src/master: what the client and the scanner decide as a Modbus master, without Qt
list(APPEND KORVEL_CORE_SOURCES
  master/one_off_requests.cpp
  master/poll_lists.cpp
  master/query_building.cpp
  master/queries_in_flight.cpp
  master/event_texts.cpp
  master/reply_handling.cpp
  master/server_connection_rules.cpp
  master/scanner_rules.cpp)
