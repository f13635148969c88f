# Launcher kits: what quarn pack links a package from, so that making a
# package needs the mingw-w64 tools but not this build tree.
#
# A kit is a folder with
#   launcher.o  one relocatable object: the entry library and the launcher's
#               libraries with static zlib, every member kept (ld -r
#               --whole-archive), so that the final link sees one input;
#   link.txt    one line, the further arguments of the final link (subsystem
#               and the Windows import libraries);
#   dialog.rc   the launcher's resource script of its hidden dialog 102,
#               which the package's resource script includes.
#
# quarn_kit(NAME ENTRY_LIBRARY SUBSYSTEM [OUTPUT_DIR DIR])
#   NAME           a target that makes the kit, part of the default build
#   ENTRY_LIBRARY  a static library holding the entry point (WinMain or main)
#   SUBSYSTEM      WINDOWS or CONSOLE
#   OUTPUT_DIR     the kit folder; ${CMAKE_CURRENT_BINARY_DIR}/NAME by default

find_program(QUARN_MINGW_LD NAMES x86_64-w64-mingw32-ld
  HINTS ${CMAKE_LINKER} DOC "mingw-w64 linker that makes the launcher kits")

function(quarn_kit name entry subsystem)
  # Inside the function: it is called from other directories, which do not
  # see variables of this one.
  # The launcher's own libraries, in link order.
  set(libraries quarn_launch quarn_identity quarn_archive quarn_os)
  # What every launcher needs from Windows: version information, sockets
  # start-up, shell folders, registry, windows.
  set(system_libraries -lversion -lws2_32 -lshell32 -ladvapi32 -luser32)
  cmake_parse_arguments(PARSE_ARGV 3 KIT "" "OUTPUT_DIR" "")
  if(NOT KIT_OUTPUT_DIR)
    set(KIT_OUTPUT_DIR ${CMAKE_CURRENT_BINARY_DIR}/${name})
  endif()
  if(subsystem STREQUAL "WINDOWS")
    set(flag -mwindows)
  elseif(subsystem STREQUAL "CONSOLE")
    set(flag -mconsole)
  else()
    message(FATAL_ERROR "quarn_kit: SUBSYSTEM must be WINDOWS or CONSOLE, not '${subsystem}'")
  endif()
  if(NOT QUARN_MINGW_LD)
    message(FATAL_ERROR "quarn_kit: x86_64-w64-mingw32-ld not found (binutils-mingw-w64-x86-64)")
  endif()

  set(archives $<TARGET_FILE:${entry}>)
  foreach(library IN LISTS libraries)
    list(APPEND archives $<TARGET_FILE:${library}>)
  endforeach()
  list(APPEND archives ${ZLIB_LIBRARY})

  list(JOIN system_libraries " " link_line)
  file(GENERATE OUTPUT ${KIT_OUTPUT_DIR}/link.txt CONTENT "${flag} ${link_line}\n")
  configure_file(${PROJECT_SOURCE_DIR}/src/app/dialog.rc ${KIT_OUTPUT_DIR}/dialog.rc COPYONLY)

  add_custom_command(
    OUTPUT ${KIT_OUTPUT_DIR}/launcher.o
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KIT_OUTPUT_DIR}
    COMMAND ${QUARN_MINGW_LD} -r -o ${KIT_OUTPUT_DIR}/launcher.o
            --whole-archive ${archives} --no-whole-archive
    # The files, not only the targets: libraries of other directories would
    # otherwise order the step without making it run again when they change.
    DEPENDS ${entry} ${libraries} ${archives}
    COMMENT "Launcher kit ${KIT_OUTPUT_DIR}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${KIT_OUTPUT_DIR}/launcher.o)
endfunction()
