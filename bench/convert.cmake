# Text conversion throughput (items = points, bytes = input bytes). The
# benchmarks write their 3,000,000-line input once into the temp folder
# (convert_bench_3000000.xyz, about 93 MB) and reuse it.
# `convert_bench --write-xyz PATH LINES` writes a generated XYZ file and
# `convert_bench --parse-baseline PATH` times the string-stream parser on it;
# both serve bench/xyz_throughput.sh.
if(TARGET nimbus_convert)
  add_executable(convert_bench ${CMAKE_CURRENT_LIST_DIR}/convert_bench.cpp)
  target_link_libraries(convert_bench PRIVATE nimbus_convert benchmark::benchmark Qt5::Core)
endif()
