# Checks that every quoted include in the source tree points the allowed way:
#   sdk -> nothing; support -> nothing; client -> support, sdk; script -> client, support, sdk;
#   shell -> script, client, support, sdk; platform and tools -> sdk only; tests and bench
#   -> anything. A folder may always include its own headers.
# Run as: cmake -DSOURCE_DIR=<tree> -P CheckIncludeDirections.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR not set")
endif()

set(allowed_sdk sdk)
set(allowed_support support)
set(allowed_client client support sdk)
set(allowed_script script client support sdk)
set(allowed_shell shell script client support sdk)
set(allowed_platform platform sdk)
set(allowed_tools tools sdk)

# The folder an include names by its first component; the kit's headers are reached as
# "haven/..." and "hvui/...". Anything else (bare names, libraries' headers) is no module's.
function(include_room path out)
  string(REGEX MATCH "^[^/]+" first "${path}")
  if(first STREQUAL "haven" OR first STREQUAL "hvui" OR first STREQUAL "sdk")
    set(${out} sdk PARENT_SCOPE)
  elseif(first MATCHES "^(support|client|script|shell|platform|tools|tests|bench)$" AND path MATCHES "/")
    set(${out} ${first} PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(faults "")
foreach(room sdk support client script shell platform tools)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${room}/*.h" "${SOURCE_DIR}/${room}/*.cpp" "${SOURCE_DIR}/${room}/*.c")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" included "${line}")
      include_room("${included}" target)
      if(target STREQUAL "")
        continue()
      endif()
      list(FIND allowed_${room} ${target} found)
      if(found EQUAL -1)
        file(RELATIVE_PATH relative "${SOURCE_DIR}" "${file}")
        string(APPEND faults "  ${relative}: ${room}/ may not include \"${included}\" (${target}/)\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(NOT faults STREQUAL "")
  message(FATAL_ERROR "Includes against the allowed directions:\n${faults}")
endif()
message(STATUS "Include directions hold")
