# Native (Linux) build: the core's tests, the tools and the benchmarks.
find_package(GTest REQUIRED)

# Helpers shared by the test programs (fakes, the mail server's process).
set(PARVEX_TEST_SUPPORT
  tests/support/cli_process.cpp
  tests/support/mail_server_process.cpp
  tests/support/nginx_process.cpp
)
add_library(parvex_test_support STATIC ${PARVEX_TEST_SUPPORT})
target_link_libraries(parvex_test_support PUBLIC parvex_core GTest::gtest GTest::gmock)

# Each subsystem's tests, one list per folder, and parvex-cli's command
# line, run as a child process.
set(PARVEX_COMMON_TESTS
  common/tests/connect_race_test.cpp
  common/tests/cookies_test.cpp
  common/tests/folders_test.cpp
  common/tests/format_test.cpp
  common/tests/http_reply_test.cpp
  common/tests/progress_pace_test.cpp
  common/tests/send_buffer_test.cpp
  common/tests/settings_store_layered_test.cpp
  common/tests/shown_text_test.cpp
  common/tests/site_lock_test.cpp
  common/tests/tls_socket_test.cpp
  common/tests/trace_test.cpp
  common/tests/url_test.cpp
  common/tests/utf8_test.cpp
)
set(PARVEX_UPLOADLIST_TESTS
  uploadlist/tests/admission_rules_test.cpp
  uploadlist/tests/upload_list_test.cpp
)
set(PARVEX_UPLOAD_TESTS
  upload/tests/fault_matrix_test.cpp
  upload/tests/read_ahead_test.cpp
  upload/tests/upload_bounds_test.cpp
  upload/tests/upload_cli_test.cpp
  upload/tests/upload_engine_test.cpp
  upload/tests/upload_reply_test.cpp
  upload/tests/upload_request_test.cpp
  upload/tests/upload_start_test.cpp
)
set(PARVEX_DOWNLOAD_TESTS
  download/tests/dialog_geometry_test.cpp
  download/tests/download_cli_test.cpp
  download/tests/download_engine_test.cpp
  download/tests/download_hostile_test.cpp
  download/tests/download_mends_test.cpp
  download/tests/download_queue_test.cpp
  download/tests/download_reply_head_test.cpp
  download/tests/download_resume_test.cpp
  download/tests/download_session_test.cpp
  download/tests/session_phase_test.cpp
  download/tests/fault_matrix_test.cpp
  download/tests/kept_connection_test.cpp
  download/tests/file_name_rules_test.cpp
  download/tests/same_file_test.cpp
  download/tests/save_folder_test.cpp
  download/tests/temporary_name_test.cpp
  download/tests/write_behind_test.cpp
)
set(PARVEX_CLI_TESTS
  tools/cli/tests/cli_command_line_test.cpp
  tools/cli/tests/cli_transport_test.cpp
)
set(PARVEX_NATIVE_TESTS
  ${PARVEX_COMMON_TESTS}
  ${PARVEX_UPLOADLIST_TESTS}
  ${PARVEX_UPLOAD_TESTS}
  ${PARVEX_DOWNLOAD_TESTS}
  ${PARVEX_CLI_TESTS}
)

add_subdirectory(tools/bench)
add_subdirectory(tools/cli)
add_subdirectory(tools/mailserver)

add_executable(parvex_tests ${PARVEX_NATIVE_TESTS})
target_link_libraries(parvex_tests PRIVATE parvex_test_support GTest::gtest_main)
if(TARGET parvex-mailserver)
  add_dependencies(parvex_tests parvex-mailserver parvex-test-pki)
  target_compile_definitions(parvex_test_support PUBLIC PARVEX_MAILSERVER_PATH="$<TARGET_FILE:parvex-mailserver>"
    PARVEX_TEST_PKI="${CMAKE_BINARY_DIR}/pki")
endif()
# The upload tests run the command-line tool as a child process.
if(TARGET parvex-cli)
  add_dependencies(parvex_tests parvex-cli)
endif()
add_test(NAME parvex_tests COMMAND parvex_tests)
