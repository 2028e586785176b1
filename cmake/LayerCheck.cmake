# Fails the build when a source folder includes a folder above it, or when a
# folder above the devices casts to a device class (it asks the device's
# capabilities instead). Run as
# cmake -DSOURCE_DIR=<src> -DSTAMP=<file> -P LayerCheck.cmake.
# Each folder's rank; a file may include its own folder and lower ranks,
# not a folder of its own rank.
set(ranks
  platform 0
  ui 1
  audio 1
  music 2
  device_link 2
  keys 3
  profiles 4
  macros 5
  update 6 recoil 6
  devices 7
  lighting 8
  sim 8
  panels 8
  games 8
  pages 9
  shell 10
  ctl 11
  sdk 12)

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
  # Any include line, however spaced, quoted or bracketed.
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]*)")
      continue()
    endif()
    set(quoted "${CMAKE_MATCH_1}")
    set(path "${CMAKE_MATCH_2}")
    # Paths start at the source folder: one that climbs hides its layer.
    if(path MATCHES "(^|/)\\.\\.(/|$)")
      list(APPEND faults "${source}: ${line} climbs out of its folder (name the folder instead)")
      continue()
    endif()
    if(NOT path MATCHES "^([^/]+)/")
      continue()  # a header beside the file
    endif()
    set(target "${CMAKE_MATCH_1}")
    rank_of("${target}" theirs)
    if(theirs STREQUAL "")
      # A system header in brackets; in quotes, a folder with no layer.
      if(quoted STREQUAL "\"")
        list(APPEND faults "${source}: ${line} names ${target}, which has no layer")
      endif()
    elseif(NOT target STREQUAL folder AND NOT theirs LESS own)
      # Folders of one rank are peers: one including another would tie them
      # in a cycle the link order does not show.
      list(APPEND faults "${source}: ${line} points up or sideways (${folder} at ${own}, ${target} at ${theirs})")
    endif()
  endforeach()
  rank_of(devices devicesRank)
  if(own GREATER devicesRank)
    file(STRINGS ${SOURCE_DIR}/${source} casts REGEX "_cast[ \t]*<[ \t]*(const[ \t]+)?CVantrel")
    foreach(line IN LISTS casts)
      list(APPEND faults "${source}: ${line} casts to a device class (ask its Capabilities())")
    endforeach()
  endif()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "includes across the layers:\n  ${text}")
endif()
file(WRITE ${STAMP} "layers checked\n")
