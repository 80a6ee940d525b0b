# The placement check (bench/fresco_placement.sh): an independent reference
# render of a tile set on the pixel grid of Fresco's rasters, and the table
# of shifts between the two. Neither uses Fresco's own code.
if(TARGET fresco)
  find_package(OpenSceneGraph 3.6 REQUIRED COMPONENTS osgDB osgUtil osgViewer)
  find_package(GDAL REQUIRED)
  add_library(fresco_placement_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/placement/rastergrid.h
    ${CMAKE_CURRENT_LIST_DIR}/placement/rastergrid.cpp)
  target_link_libraries(fresco_placement_support PUBLIC GDAL::GDAL)

  add_executable(fresco_reference_render
    ${CMAKE_CURRENT_LIST_DIR}/placement/reference_render.cpp
    ${CMAKE_CURRENT_LIST_DIR}/placement/frozentree.h
    ${CMAKE_CURRENT_LIST_DIR}/placement/frozentree.cpp)
  target_include_directories(fresco_reference_render SYSTEM PRIVATE ${OPENSCENEGRAPH_INCLUDE_DIRS})
  target_link_libraries(fresco_reference_render PRIVATE fresco_placement_support ${OPENSCENEGRAPH_LIBRARIES})

  add_executable(fresco_shift_table
    ${CMAKE_CURRENT_LIST_DIR}/placement/shift_table.cpp
    ${CMAKE_CURRENT_LIST_DIR}/placement/subpixelshift.h
    ${CMAKE_CURRENT_LIST_DIR}/placement/subpixelshift.cpp)
  target_link_libraries(fresco_shift_table PRIVATE fresco_placement_support)
endif()

# The cheap variant as a test: one coarse raster and one set of pieces of a
# length that is no whole number of pixels (about 6 s). Skipped (77) without
# the shared tile set.
if(TARGET fresco-render AND TARGET fresco_shift_table AND BUILD_TESTING)
  add_test(NAME fresco_placement_check
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/fresco_placement.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(fresco_placement_check PROPERTIES
    ENVIRONMENT "RESOLUTIONS=0.5;SPLITS=0.3:20;LIBGL_ALWAYS_SOFTWARE=1"
    SKIP_RETURN_CODE 77 LABELS fresco TIMEOUT 300)
endif()
