# updater_library(NAME DIR [DEPS lib...])
# A static library from every .cc file in DIR (relative to src/). Code
# includes "platform/event_loop.h" and so on, but each library sees only
# its own folder and those of the libraries it links: its include path is
# a folder of its own holding one link, DIR -> src/DIR, and the links of
# its dependencies arrive through their PUBLIC include paths. So an
# include that runs up the layers fails to build.
# A file that calls the system comes as twins, name_posix.cc and
# name_windows.cc; the build takes the one of the system it builds for.
# A folder that has only headers so far gives a header-only target.
function(updater_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  updater_layer_include(include_root ${name} ${dir})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cc)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cc$")
  else()
    list(FILTER sources EXCLUDE REGEX "_windows\\.cc$")
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${include_root})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${include_root})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# Sets OUT to the include folder of library NAME: a folder of its own that
# holds the one link DIR -> src/DIR. Front-ends that declare their targets
# by hand use it too.
function(updater_layer_include out name dir)
  set(include_root ${PROJECT_BINARY_DIR}/layer-include/${name})
  get_filename_component(link_parent ${include_root}/${dir} DIRECTORY)
  file(MAKE_DIRECTORY ${link_parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${dir} ${include_root}/${dir} SYMBOLIC)
  set(${out} ${include_root} PARENT_SCOPE)
endfunction()
# Adds every direct sub-folder of the current folder that has a
# CMakeLists.txt: tools/, tests/ and bench/ hold one group of targets each.
function(updater_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
