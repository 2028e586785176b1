# Fails the build when a source folder includes a folder above it. Run as
# cmake -DSOURCE_DIR=<src> -DSTAMP=<file> -P LayerCheck.cmake.
# Each folder's rank; a file may include its own folder and lower ranks.
set(ranks
  platform 0
  ui 1
  audio 1
  device_link 2
  keys 3
  profiles 4
  macros 5
  update 6
  devices 7
  lighting 8
  sim 8
  panels 8
  pages 9
  shell 10)

function(rank_of folder out)
  list(FIND ranks "${folder}" at)
  if(at EQUAL -1)
    set(${out} "" PARENT_SCOPE)
  else()
    math(EXPR next "${at} + 1")
    list(GET ranks ${next} rank)
    set(${out} ${rank} PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(faults "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  rank_of("${folder}" own)
  if(own STREQUAL "")
    list(APPEND faults "${source}: folder ${folder} has no layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^#include \"[a-z_]+/")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "^#include \"([a-z_]+)/" _ "${line}")
    set(target "${CMAKE_MATCH_1}")
    rank_of("${target}" theirs)
    if(theirs STREQUAL "" OR theirs GREATER own)
      list(APPEND faults "${source}: ${line} points up (${folder} below ${target})")
    endif()
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "upward includes:\n  ${text}")
endif()
file(WRITE ${STAMP} "layers checked\n")
