# ym_add_test(NAME SOURCES src... [LIBS lib...] [ENV VAR=value...])
# One GoogleTest file becomes one test program and one ctest entry. Tests run
# from the build folder with the sanitizers' reports made fatal.
function(ym_add_test name)
  if(NOT YM_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;YM_BIN_DIR=${CMAKE_BINARY_DIR}/bin;YM_LIB_DIR=${CMAKE_BINARY_DIR}/lib;${T_ENV}"
    TIMEOUT 300)
endfunction()
