# Native (Linux) build: the core's tests, the tools and the benchmarks.
find_package(GTest REQUIRED)

# Helpers shared by the test programs (fakes, the mail server's process).
file(GLOB PARVEX_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(parvex_test_support STATIC ${PARVEX_TEST_SUPPORT})
target_link_libraries(parvex_test_support PUBLIC parvex_core GTest::gtest GTest::gmock)

set(PARVEX_NATIVE_TESTS)
foreach(dir ${PARVEX_CORE_DIRS})
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/tests/*_test.cpp)
  list(APPEND PARVEX_NATIVE_TESTS ${found})
endforeach()
list(FILTER PARVEX_NATIVE_TESTS EXCLUDE REGEX "_win_test\\.cpp$")
# parvex-cli's command line, run as a child process.
list(APPEND PARVEX_NATIVE_TESTS ${CMAKE_SOURCE_DIR}/tools/cli/tests/cli_command_line_test.cpp)

foreach(tool mailserver cli bench)
  if(EXISTS ${CMAKE_SOURCE_DIR}/tools/${tool}/CMakeLists.txt)
    add_subdirectory(tools/${tool})
  endif()
endforeach()

add_executable(parvex_tests ${PARVEX_NATIVE_TESTS})
target_link_libraries(parvex_tests PRIVATE parvex_test_support GTest::gtest_main)
if(TARGET parvex-mailserver)
  add_dependencies(parvex_tests parvex-mailserver)
  target_compile_definitions(parvex_test_support PUBLIC PARVEX_MAILSERVER_PATH="$<TARGET_FILE:parvex-mailserver>")
endif()
# The upload tests run the command-line tool as a child process.
if(TARGET parvex-cli)
  add_dependencies(parvex_tests parvex-cli)
endif()
add_test(NAME parvex_tests COMMAND parvex_tests)
