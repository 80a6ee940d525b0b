# E57 decoding throughput (items = points). `e57_bench --write-e57 PATH N`
# writes a generated E57 file for the end-to-end run in pipeline.sh.
if(TARGET nimbus_e57)
  add_executable(e57_bench ${CMAKE_CURRENT_LIST_DIR}/e57_bench.cpp
    ${CMAKE_SOURCE_DIR}/nimbus/convert/e57/tests/e57testwriter.cpp)
  target_include_directories(e57_bench PRIVATE ${CMAKE_SOURCE_DIR}/nimbus/convert/e57/tests)
  target_link_libraries(e57_bench PRIVATE nimbus_e57 benchmark::benchmark)
endif()
