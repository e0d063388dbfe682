# Rooms: one folder, one library, linked only to the rooms below it.
#
#   qb7_room(NAME [SOURCES ...] [USES room ...] [LIBS lib ...])
#
# A room sees its own headers and those of the rooms it uses, directly or
# through them, and nothing else: its include path is a folder of the build
# tree holding a link to each of those rooms only. So an include that runs
# back up (a model including the session, a driver including the program)
# fails to compile with "No such file or directory", whether or not it would
# also fail to link.
function(qb7_room name)
  cmake_parse_arguments(ROOM "" "" "SOURCES;USES;LIBS" ${ARGN})
  set(visible ${name})
  foreach(used IN LISTS ROOM_USES)
    get_property(known GLOBAL PROPERTY QB7_ROOM_${used} SET)
    if(NOT known)
      message(FATAL_ERROR "room ${name} uses ${used}, which is not declared before it")
    endif()
    get_property(theirs GLOBAL PROPERTY QB7_ROOM_${used})
    list(APPEND visible ${theirs})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(GLOBAL PROPERTY QB7_ROOM_${name} ${visible})
  set_property(GLOBAL APPEND PROPERTY QB7_ROOMS ${name})

  set(view ${CMAKE_BINARY_DIR}/rooms/${name})
  file(MAKE_DIRECTORY ${view})
  # A room no longer used leaves no link behind (removing a link leaves
  # the folder it points to alone).
  file(GLOB links LIST_DIRECTORIES true ${view}/*)
  foreach(link IN LISTS links)
    get_filename_component(room ${link} NAME)
    if(NOT room IN_LIST visible)
      file(REMOVE ${link})
    endif()
  endforeach()
  foreach(room IN LISTS visible)
    if(NOT EXISTS ${view}/${room})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${room} ${view}/${room} SYMBOLIC)
    endif()
  endforeach()

  set(deps)
  foreach(used IN LISTS ROOM_USES)
    list(APPEND deps qb7_${used})
  endforeach()
  if(ROOM_SOURCES)
    add_library(qb7_${name} STATIC ${ROOM_SOURCES})
    target_include_directories(qb7_${name} PRIVATE ${view})
    target_link_libraries(qb7_${name} PUBLIC ${deps} ${ROOM_LIBS})
  else()
    # Headers only: nothing to compile, but its place in the graph counts.
    add_library(qb7_${name} INTERFACE)
    target_link_libraries(qb7_${name} INTERFACE ${deps} ${ROOM_LIBS})
  endif()
endfunction()

# The include path of a room, for checks that compile against it.
function(qb7_room_view name out)
  set(${out} ${CMAKE_BINARY_DIR}/rooms/${name} PARENT_SCOPE)
endfunction()
