# layers_check.cmake: run by the build (cmake -DLAYER_LIST=... -DSTAMP=... -P) for one library:
# every #include of its files that resolves to a file of the source tree must lie in one of the
# folders its list allows (its own and those of the libraries it links). Touches STAMP when they
# all do; otherwise prints one line per include that does not and fails.
cmake_minimum_required(VERSION 3.20)
include(${LAYER_LIST})

set(refused 0)
string(REPLACE ";" "/ " allowedText "${ALLOWED}/")
foreach(file IN LISTS FILES)
  file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
  cmake_path(GET file PARENT_PATH fileDir)
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" included "${line}")
    # As the compiler looks: beside the including file first, then from the source root.
    set(resolved "")
    if(EXISTS ${ROOT}/${fileDir}/${included})
      set(resolved ${fileDir}/${included})
    elseif(EXISTS ${ROOT}/${included})
      set(resolved ${included})
    endif()
    if(resolved STREQUAL "")
      continue()  # a system or library header
    endif()
    cmake_path(NORMAL_PATH resolved)
    cmake_path(GET resolved PARENT_PATH folder)
    if(folder MATCHES "^\\.\\." OR folder IN_LIST ALLOWED)
      continue()
    endif()
    file(READ ${ROOT}/${file} text)
    string(FIND "${text}" "${line}" offset)
    string(SUBSTRING "${text}" 0 ${offset} before)
    string(REGEX MATCHALL "\n" breaks "${before}")
    list(LENGTH breaks lineNumber)
    math(EXPR lineNumber "${lineNumber} + 1")
    if(folder STREQUAL "")
      set(folder ".")
    endif()
    message(NOTICE "${file}:${lineNumber}: error: #include \"${included}\" reaches ${folder}/, which "
      "${TARGET} does not link: ${FOLDER}/ may include only ${allowedText}")
    math(EXPR refused "${refused} + 1")
  endforeach()
endforeach()

if(refused GREATER 0)
  message(FATAL_ERROR "${TARGET}: ${refused} include(s) of a folder it does not link "
    "(cmake/layers.cmake; link the folder's library or move the code down)")
endif()
file(TOUCH ${STAMP})
