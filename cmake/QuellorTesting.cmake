# Test helpers: GoogleTest built for the target by tools/setup.sh; every test exe runs under Wine
# through CMAKE_CROSSCOMPILING_EMULATOR (tools/wine-run.sh, which bounds each run with a timeout).
set(GTest_DIR "${QUELLOR_DEPS}/googletest-i686/lib/cmake/GTest" CACHE PATH "")
find_package(GTest REQUIRED CONFIG)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tools/wine-run.sh" CACHE STRING "" FORCE)

# quellor_add_gtest(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# Label "prefix32" also runs the exe in the 32-bit Wine prefix; every test runs in the 64-bit one.
function(quellor_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} quellor_test_support GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tools/wine-run.sh")
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
                       WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
endfunction()
