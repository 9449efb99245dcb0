# layers.cmake: each folder of the show is a library of its own, and the build refuses an
# #include of a folder that the library does not name in its target_link_libraries.
#
# Every build runs cmake/layers_check.cmake over each checked library's files (again when one
# of them changes) before any of them compiles; an #include that resolves into a folder other
# than the library's own and those of the libraries it links directly fails the build with one
# line per include: the file and line, the folder it reached and the folders allowed.

# The folder of each library the checks know: its own property, or the one folder its sources
# are in (platform/sdl for quorbel_sdl). Libraries without one (quorbel_show) open no folder.
define_property(TARGET PROPERTY QUORBEL_LAYER BRIEF_DOCS "the source folder this library is")

# quorbel_layer(<folder> [STATIC] [EXCLUDE file...] [USES library...]): the folder's *.cpp and
# *.h as an object library quorbel_<folder> (a STATIC one where libraries outside the show
# link it too), linking the libraries it may use. Globbed, so a new file joins by itself.
function(quorbel_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "STATIC" "" "EXCLUDE;USES")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  foreach(excluded IN LISTS arg_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${excluded})
  endforeach()
  string(REPLACE "/" "_" name quorbel_${folder})
  if(arg_STATIC)
    add_library(${name} STATIC ${sources})
  else()
    add_library(${name} OBJECT ${sources})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${arg_USES})
  set_target_properties(${name} PROPERTIES QUORBEL_LAYER ${folder})
  set(files ${sources})
  list(TRANSFORM files REPLACE "^${CMAKE_SOURCE_DIR}/" "")
  quorbel_check_includes(${name} ${folder} ${files})
  set_property(GLOBAL APPEND PROPERTY QUORBEL_LAYERS ${name})
endfunction()

# quorbel_check_includes(<target> <folder> <file>...): files (relative to the source root) that
# belong to folder, checked against the folders of what target links. The links are read at the
# end of the configure, so a target_link_libraries anywhere after this counts.
function(quorbel_check_includes target folder)
  set_property(GLOBAL APPEND PROPERTY QUORBEL_CHECKED_TARGETS ${target})
  set_property(TARGET ${target} PROPERTY QUORBEL_CHECK_FOLDER ${folder})
  set_property(TARGET ${target} PROPERTY QUORBEL_CHECK_FILES ${ARGN})
endfunction()

# quorbel_check_own_includes(<target>): a library or program of one folder outside the show's
# layers (platform/sdl/, tools/web/): its sources, and the headers of the same names, checked
# as the layers are.
function(quorbel_check_own_includes target)
  quorbel_folder_of(${target} folder)
  get_target_property(sources ${target} SOURCES)
  set(files)
  foreach(source IN LISTS sources)
    get_filename_component(stem ${source} NAME_WE)
    list(APPEND files ${folder}/${stem}.cpp)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${folder}/${stem}.h)
      list(APPEND files ${folder}/${stem}.h)
    endif()
  endforeach()
  quorbel_check_includes(${target} ${folder} ${files})
endfunction()

function(quorbel_folder_of target out)
  set(folder "")
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  get_target_property(layer ${target} QUORBEL_LAYER)
  get_target_property(type ${target} TYPE)
  get_target_property(imported ${target} IMPORTED)
  if(layer)
    set(folder ${layer})
  elseif(NOT imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(sources ${target} SOURCES)
    get_target_property(dir ${target} SOURCE_DIR)
    set(dirs "")
    foreach(source IN LISTS sources)
      if(source MATCHES "^\\$<")
        continue()
      endif()
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} NORMALIZE)
      cmake_path(GET source PARENT_PATH parent)
      cmake_path(RELATIVE_PATH parent BASE_DIRECTORY ${CMAKE_SOURCE_DIR})
      list(APPEND dirs ${parent})
    endforeach()
    list(REMOVE_DUPLICATES dirs)
    list(LENGTH dirs count)
    if(count EQUAL 1 AND NOT dirs MATCHES "^\\.")
      set(folder ${dirs})
    endif()
  endif()
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

# At the end of the top directory: one check step per registered target, which the target
# depends on, so that its files compile only after their includes passed.
function(quorbel_layers_finish)
  get_property(targets GLOBAL PROPERTY QUORBEL_CHECKED_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(folder ${target} QUORBEL_CHECK_FOLDER)
    get_target_property(files ${target} QUORBEL_CHECK_FILES)
    set(allowed ${folder})
    get_target_property(links ${target} LINK_LIBRARIES)
    foreach(link IN LISTS links)
      if(NOT TARGET ${link})
        continue()
      endif()
      set(reached ${link})
      get_target_property(type ${link} TYPE)
      if(type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(reached ${link} INTERFACE_LINK_LIBRARIES)
      endif()
      foreach(library IN LISTS reached)
        if(TARGET ${library})
          quorbel_folder_of(${library} linked)
          if(linked)
            list(APPEND allowed ${linked})
          endif()
        endif()
      endforeach()
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    set(list ${CMAKE_BINARY_DIR}/layers/${target}.cmake)
    set(stamp ${CMAKE_BINARY_DIR}/layers/${target}.stamp)
    file(CONFIGURE OUTPUT ${list} CONTENT
      "set(TARGET ${target})\nset(FOLDER ${folder})\nset(ROOT \"${CMAKE_SOURCE_DIR}\")\nset(FILES ${files})\nset(ALLOWED ${allowed})\n")
    set(depends ${files})
    list(TRANSFORM depends PREPEND ${CMAKE_SOURCE_DIR}/)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DLAYER_LIST=${list} -DSTAMP=${stamp} -P ${CMAKE_SOURCE_DIR}/cmake/layers_check.cmake
      DEPENDS ${depends} ${list} ${CMAKE_SOURCE_DIR}/cmake/layers_check.cmake
      COMMENT "Checking the includes of ${target} (${folder}/) against its links"
      VERBATIM)
    # A target of its own, which works for a library of any folder (a custom command's output
    # reaches only targets of its own folder).
    add_custom_target(${target}-includes DEPENDS ${stamp})
    add_dependencies(${target} ${target}-includes)
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL quorbel_layers_finish)
