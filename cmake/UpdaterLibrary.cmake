# updater_library(NAME DIR [DEPS lib...])
# A static library from every .cc file in DIR (relative to src/), with src/
# on the include path, so code includes "platform/event_loop.h" and so on.
function(updater_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cc)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()
