# LAS and LAZ reading throughput (items = points). `las_bench --write-las PATH N`
# writes a generated LAS file for the end-to-end run in las_end_to_end.sh.
if(TARGET nimbus_las)
  add_executable(las_bench ${CMAKE_CURRENT_LIST_DIR}/las_bench.cpp)
  target_compile_definitions(las_bench PRIVATE QUILLFEN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(las_bench PRIVATE nimbus_las benchmark::benchmark)
endif()
