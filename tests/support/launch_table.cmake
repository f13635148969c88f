# The launch table (support/launch_table.h) as objects for the POSIX test
# programs and fuzz targets, which link it in place of the plain provider of
# shipped programs. Included by the tests and by the fuzz build.
if(NOT WIN32 AND NOT TARGET quarn_launch_table)
  add_library(quarn_launch_table OBJECT ${CMAKE_CURRENT_LIST_DIR}/launch_table.cpp)
  target_include_directories(quarn_launch_table PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(quarn_launch_table PUBLIC quarn_os)
endif()
