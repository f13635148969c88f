# Packages made by the native quarn pack from a probe kit and run under Wine,
# packages crafted here with windres for the cases pack does not make, and
# quarn inspect on sound and damaged packages. Included by the Windows build.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The probe: a console stand-in for the launcher that prints what the
# package identity calls see.
add_library(quarn_package_probe STATIC ${CMAKE_CURRENT_LIST_DIR}/probe.cpp)
target_link_libraries(quarn_package_probe PRIVATE quarn_identity)
set(QUARN_PROBE_KIT ${CMAKE_BINARY_DIR}/tests/package/probe-kit)
quarn_kit(quarn_probe_kit quarn_package_probe CONSOLE OUTPUT_DIR ${QUARN_PROBE_KIT})

set(QUARN_NATIVE_TOOL ${CMAKE_SOURCE_DIR}/build/native/bin/quarn CACHE FILEPATH
  "native quarn (with pack) that the package tests run; build the native preset first")
find_program(QUARN_TEST_WINDRES NAMES x86_64-w64-mingw32-windres)

set(package_test ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/package_test.py
  --quarn ${QUARN_NATIVE_TOOL} --kit ${QUARN_PROBE_KIT}
  --windres ${QUARN_TEST_WINDRES} --cxx ${CMAKE_CXX_COMPILER}
  --windows-quarn $<TARGET_FILE:quarn>)
foreach(part wine inspect refusals)
  add_test(NAME package_${part} COMMAND ${package_test} ${part})
  set_tests_properties(package_${part} PROPERTIES TIMEOUT 600)
endforeach()
set_tests_properties(package_wine PROPERTIES
  ENVIRONMENT "${QUARN_WINE_ENV}" FIXTURES_REQUIRED wine)

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
