# Rendering throughput of Fresco::start on a generated set of 16 tiles at two
# resolutions (needs a display: run it under xvfb-run).
if(TARGET fresco AND TARGET fresco_render_testsupport)
  add_executable(fresco_bench ${CMAKE_CURRENT_LIST_DIR}/fresco_bench.cpp)
  target_link_libraries(fresco_bench PRIVATE fresco fresco_render_testsupport benchmark::benchmark)
endif()

# Tile sets for bench/fresco_scale.sh (output size against time and memory).
if(TARGET fresco_render_testsupport)
  add_executable(fresco_tileset_gen ${CMAKE_CURRENT_LIST_DIR}/fresco_tileset_gen.cpp)
  target_link_libraries(fresco_tileset_gen PRIVATE fresco_render_testsupport)
endif()
