# Each library publishes its own headers, so that a target can include only
# what it links:
#
#   tallowin_public_headers(TARGET header...)
#
# links each listed header (a path relative to the calling folder) into
# build/layers/TARGET/<folder>/ and makes that the target's public include
# folder.  The spelling of an include stays "payload/sacformat.hpp", but it
# resolves only for targets that link payload.  A library's own sources also
# see the private headers of their folder (backends, parsers), through
# build/layers/TARGET-own/<folder>, which no other target gets.
function(tallowin_public_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  foreach(header IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
      message(FATAL_ERROR "${target}: no header ${folder}/${header}")
    endif()
    set(link ${root}/${folder}/${header})
    get_filename_component(linkdir ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${linkdir})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
    return()
  endif()
  target_include_directories(${target} PUBLIC ${root})

  set(own ${CMAKE_BINARY_DIR}/layers/${target}-own)
  file(REMOVE_RECURSE ${own})
  get_filename_component(owndir ${own}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${owndir})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${own}/${folder} SYMBOLIC)
  # Before the public folders of what it links, so its own headers come
  # from one place in each of its sources.
  target_include_directories(${target} BEFORE PRIVATE ${own})
endfunction()
