# Splitter and writer throughput on one full hand-off buffer.
if(TARGET nimbus_store)
  add_executable(store_bench ${CMAKE_CURRENT_LIST_DIR}/store_bench.cpp)
  target_link_libraries(store_bench PRIVATE nimbus_store benchmark::benchmark)
endif()
