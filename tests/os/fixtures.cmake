# PE files with resources for the launch-services and PE reader tests, made
# with the mingw-w64 tools in both builds: the PE reader (os/pe) reads them
# in both, natively behind the POSIX seam, under Wine beside the real Win32
# calls, and the same tests expect the same answers from both.
find_program(QUARN_MINGW_WINDRES NAMES x86_64-w64-mingw32-windres)
find_program(QUARN_MINGW_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc)
if(NOT QUARN_MINGW_WINDRES OR NOT QUARN_MINGW_CC)
  message(WARNING "No mingw-w64 windres and gcc: the resource tests skip their fixtures")
  return()
endif()

set(quarn_fixture_sources ${CMAKE_CURRENT_LIST_DIR}/fixtures)
set(quarn_fixtures_dir ${CMAKE_BINARY_DIR}/fixtures)
file(MAKE_DIRECTORY ${quarn_fixtures_dir})
# The tests compare GAMEDATA with the file it was made from.
configure_file(${quarn_fixture_sources}/gamedata.txt ${quarn_fixtures_dir}/gamedata.txt COPYONLY)

# name:script pairs; no script gives a program without resources.
set(quarn_pe_fixtures resources:resources.rc two_languages:two_languages.rc
    comma_version:comma_version.rc plain:)
set(quarn_pe_fixture_files)
foreach(fixture IN LISTS quarn_pe_fixtures)
  string(REPLACE ":" ";" parts "${fixture}:")
  list(GET parts 0 name)
  list(GET parts 1 script)
  set(exe ${quarn_fixtures_dir}/${name}.exe)
  set(objects)
  if(script)
    set(res ${quarn_fixtures_dir}/${name}.res.o)
    add_custom_command(OUTPUT ${res}
      COMMAND ${QUARN_MINGW_WINDRES} -I ${quarn_fixture_sources} -O coff
              -i ${quarn_fixture_sources}/${script} -o ${res}
      DEPENDS ${quarn_fixture_sources}/${script} ${quarn_fixture_sources}/gamedata.txt
      WORKING_DIRECTORY ${quarn_fixture_sources}
      VERBATIM)
    set(objects ${res})
  endif()
  add_custom_command(OUTPUT ${exe}
    COMMAND ${QUARN_MINGW_CC} -s -o ${exe} ${quarn_fixture_sources}/program.c ${objects}
    DEPENDS ${quarn_fixture_sources}/program.c ${objects}
    VERBATIM)
  list(APPEND quarn_pe_fixture_files ${exe})
endforeach()
add_custom_target(os_fixtures DEPENDS ${quarn_pe_fixture_files})
add_dependencies(os_tests os_fixtures)
add_dependencies(identity_tests os_fixtures)

# Under Wine the Linux root is drive Z:.
if(CMAKE_CROSSCOMPILING)
  set(quarn_fixtures_path "Z:${quarn_fixtures_dir}")
else()
  set(quarn_fixtures_path "${quarn_fixtures_dir}")
endif()
target_compile_definitions(os_tests PRIVATE "QUARN_FIXTURES_DIR=\"${quarn_fixtures_path}\"")
target_compile_definitions(identity_tests PRIVATE "QUARN_FIXTURES_DIR=\"${quarn_fixtures_path}\"")
