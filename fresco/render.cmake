# Off-screen orthographic rendering and the job flow of Fresco::start.
# Included by this folder's CMakeLists.txt once the library targets exist.
target_sources(fresco_internal PRIVATE
  orthoviewer.h
  orthoviewer.cpp
  idlerenderer.h
  idlerenderer.cpp
  bboxcomputer.h
  bboxcomputer.cpp
  levelreadcallback.h
  drawablecheck.h
  drawablecheck.cpp
  levelreadcallback.cpp
  viewpolygon.h
  viewpolygon.cpp
)
target_link_libraries(fresco_internal PRIVATE OpenGL::GL Threads::Threads)
target_sources(fresco PRIVATE job.cpp)

add_subdirectory(cli)
if(BUILD_TESTING OR NOT DEFINED BUILD_TESTING)
  add_subdirectory(tests/render)
endif()
