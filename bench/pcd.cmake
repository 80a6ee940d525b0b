# PCD decoding throughput (items = points). `pcd_bench --write-pcd PATH N
# ENCODING` writes a generated PCD file for bench/pcd_convert.sh, which times
# whole conversions with two nimbusconvert builds side by side.
if(TARGET nimbus_pcd)
  add_executable(pcd_bench ${CMAKE_CURRENT_LIST_DIR}/pcd_bench.cpp)
  target_compile_definitions(pcd_bench PRIVATE QUILLFEN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(pcd_bench PRIVATE nimbus_pcd benchmark::benchmark)
endif()
