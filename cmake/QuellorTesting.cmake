# Test helpers: GoogleTest built for the target by tools/setup.sh; every test exe runs under Wine
# through CMAKE_CROSSCOMPILING_EMULATOR (tools/wine-run.sh, which bounds each run with a timeout).
set(GTest_DIR "${QUELLOR_DEPS}/googletest-i686/lib/cmake/GTest" CACHE PATH "")
find_package(GTest REQUIRED CONFIG)
# How many times longer the platform's own work may take on this machine's Wine path (tools/build.sh
# passes what tools/wine-path.sh found: 1 natively, more where 32-bit programs run under emulation).
set(QUELLOR_LIMIT_SCALE 1 CACHE STRING "Factor for the tests' time limits on this Wine path")
# quellor_scaled_timeout(var seconds): a test's limit on this path.
function(quellor_scaled_timeout var seconds)
  math(EXPR scaled "${seconds} * ${QUELLOR_LIMIT_SCALE}")
  set(${var} ${scaled} PARENT_SCOPE)
endfunction()
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tools/wine-run.sh" CACHE STRING "" FORCE)

# quellor_add_gtest(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
# Label "prefix32" also runs the exe in the 32-bit Wine prefix; every test runs in the 64-bit one.
# The suites share the test prefix and take it in turn; the stand-in machines' runs go beside them.
function(quellor_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} quellor_test_support GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tools/wine-run.sh")
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  quellor_scaled_timeout(T_TIMEOUT ${T_TIMEOUT})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
                       WORKING_DIRECTORY "${CMAKE_BINARY_DIR}" RESOURCE_LOCK test_prefix)
endfunction()
