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
#
# What goes into the kit follows the targets' own link libraries, walked
# from ENTRY_LIBRARY through every dependency: static libraries (targets of
# this build and imported ones such as ZLIB::ZLIB) go into launcher.o, other
# names (Windows import libraries) into link.txt. The walk runs at the end of
# the calling directory, so that libraries linked further down count too.

find_program(QUARN_MINGW_LD NAMES x86_64-w64-mingw32-ld
  HINTS ${CMAKE_LINKER} DOC "mingw-w64 linker that makes the launcher kits")

function(quarn_kit name entry subsystem)
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
  add_custom_target(${name} ALL DEPENDS ${KIT_OUTPUT_DIR}/launcher.o)
  # Bracketed: the deferred call sees these values, not variables of a
  # function that has returned by then.
  cmake_language(EVAL CODE
    "cmake_language(DEFER CALL _quarn_kit_files [[${entry}]] [[${flag}]] [[${KIT_OUTPUT_DIR}]])")
endfunction()

# The link inputs of target and everything it links, each once: the static
# libraries that are targets in ${targets_var}, the archive files (target
# file expressions included) in ${archives_var}, the rest as link arguments
# in ${system_var}.
function(_quarn_kit_inputs target targets_var archives_var system_var)
  set(targets)
  set(archives)
  set(system)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending item)
    # A PRIVATE dependency of a static library still has to be linked.
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.+)>$" "\\1" item "${item}")
    # ::@... marks where a dependency was added from another directory.
    if(item IN_LIST seen OR item MATCHES "^::@")
      continue()
    endif()
    list(APPEND seen ${item})
    if(TARGET ${item})
      get_target_property(type ${item} TYPE)
      get_target_property(imported ${item} IMPORTED)
      if(type STREQUAL "STATIC_LIBRARY" OR (imported AND type STREQUAL "UNKNOWN_LIBRARY"))
        list(APPEND archives $<TARGET_FILE:${item}>)
        if(NOT imported)
          list(APPEND targets ${item})
        endif()
      elseif(NOT type STREQUAL "INTERFACE_LIBRARY")
        message(FATAL_ERROR "quarn_kit: ${item} is a ${type}; a kit takes static libraries only")
      endif()
      get_target_property(links ${item} INTERFACE_LINK_LIBRARIES)
      if(links)
        list(APPEND pending ${links})
      endif()
    elseif(item MATCHES "[$]<")
      message(FATAL_ERROR "quarn_kit: cannot follow the link expression ${item} of ${target}")
    elseif(IS_ABSOLUTE "${item}")
      list(APPEND archives ${item})
    elseif(item MATCHES "^-")
      list(APPEND system ${item})
    else()
      list(APPEND system -l${item})
    endif()
  endwhile()
  set(${targets_var} ${targets} PARENT_SCOPE)
  set(${archives_var} ${archives} PARENT_SCOPE)
  set(${system_var} ${system} PARENT_SCOPE)
endfunction()

function(_quarn_kit_files entry flag output_dir)
  _quarn_kit_inputs(${entry} libraries archives system_libraries)
  list(JOIN system_libraries " " link_line)
  file(GENERATE OUTPUT ${output_dir}/link.txt CONTENT "${flag} ${link_line}\n")
  configure_file(${PROJECT_SOURCE_DIR}/src/app/dialog.rc ${output_dir}/dialog.rc COPYONLY)

  add_custom_command(
    OUTPUT ${output_dir}/launcher.o
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND ${QUARN_MINGW_LD} -r -o ${output_dir}/launcher.o
            --whole-archive ${archives} --no-whole-archive
    # The files, not only the targets: libraries of other directories would
    # otherwise order the step without making it run again when they change.
    DEPENDS ${libraries} ${archives}
    COMMENT "Launcher kit ${output_dir}"
    VERBATIM)
endfunction()
