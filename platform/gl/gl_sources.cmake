# gl_sources.cmake: the device's source files, one list for both builds that compile them: the
# desktop library (CMakeLists.txt here) and the browser build (platform/web/CMakeLists.txt), which
# compiles the same files against WebGL2. Globbed, so that a new file joins both.
file(GLOB QUORBEL_GL_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
