# Packages made by quarn pack. Natively: quarn inspect on sound and damaged
# packages and pack's refusals, with packages linked from a stand-in kit that
# the test makes with the mingw-w64 compiler. In the Windows build: packages
# made by the native quarn pack from a probe kit and run under Wine, packages
# crafted with windres for the cases pack does not make, and the real
# launcher end to end.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(QUARN_TEST_WINDRES NAMES x86_64-w64-mingw32-windres)

if(NOT CMAKE_CROSSCOMPILING)
  if(NOT TARGET quarn)
    return()
  endif()
  find_program(QUARN_TEST_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++
    DOC "mingw-w64 compiler driver that makes the stand-in kit of the package tests")
  # GAMEID records that pack refuses to make, for inspect to judge.
  add_executable(quarn_gameid_writer ${CMAKE_CURRENT_LIST_DIR}/gameid_writer.cpp)
  target_link_libraries(quarn_gameid_writer PRIVATE quarn_encoder)
  foreach(part inspect refusals publishing)
    add_test(NAME package_${part}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/package_test.py
        --quarn $<TARGET_FILE:quarn> --windres ${QUARN_TEST_WINDRES} --cxx ${QUARN_TEST_MINGW_CXX}
        --gameid-writer $<TARGET_FILE:quarn_gameid_writer> ${part})
    # 77: quarn without pack, or no mingw-w64 tools.
    set_tests_properties(package_${part} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  endforeach()
  return()
endif()

# The probe: a console stand-in for the launcher that prints what the
# package identity calls see.
add_library(quarn_package_probe STATIC ${CMAKE_CURRENT_LIST_DIR}/probe.cpp)
target_link_libraries(quarn_package_probe PRIVATE quarn_identity)
set(QUARN_PROBE_KIT ${CMAKE_BINARY_DIR}/tests/package/probe-kit)
quarn_kit(quarn_probe_kit quarn_package_probe CONSOLE OUTPUT_DIR ${QUARN_PROBE_KIT})

set(QUARN_NATIVE_TOOL ${CMAKE_SOURCE_DIR}/build/native/bin/quarn CACHE FILEPATH
  "native quarn (with pack) that the package tests run; build the native preset first")

add_test(NAME package_wine
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/package_test.py
    --quarn ${QUARN_NATIVE_TOOL} --kit ${QUARN_PROBE_KIT}
    --windres ${QUARN_TEST_WINDRES} --cxx ${CMAKE_CXX_COMPILER}
    --windows-quarn $<TARGET_FILE:quarn> wine)
set_tests_properties(package_wine PROPERTIES
  ENVIRONMENT "${QUARN_WINE_ENV}" FIXTURES_REQUIRED wine TIMEOUT 600)

# The real launcher kit packed with the sample game, run under Wine; the
# holder keeps the installed program busy as a running game would.
# The hostile-archive corpus is written out by a program of the test
# support library and linked into packages of the launcher kit.
add_executable(quarn_package_holder ${CMAKE_CURRENT_LIST_DIR}/holder.cpp)
add_executable(quarn_hostile_writer ${CMAKE_CURRENT_LIST_DIR}/hostile_writer.cpp)
target_link_libraries(quarn_hostile_writer PRIVATE quarn_test_support quarn_encoder)
add_test(NAME package_launcher
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/launcher_test.py
    --quarn ${QUARN_NATIVE_TOOL} --kit ${CMAKE_BINARY_DIR}/kit
    --game-program $<TARGET_FILE:star_courier>
    --game-files ${CMAKE_SOURCE_DIR}/samples/star-courier/files
    --holder $<TARGET_FILE:quarn_package_holder>
    --hostile-writer $<TARGET_FILE:quarn_hostile_writer>
    --windres ${QUARN_TEST_WINDRES} --cxx ${CMAKE_CXX_COMPILER})
set_tests_properties(package_launcher PROPERTIES
  ENVIRONMENT "${QUARN_WINE_ENV}" FIXTURES_REQUIRED wine TIMEOUT 600)
