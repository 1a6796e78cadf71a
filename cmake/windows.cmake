# Windows build: the module PARVEX.OCX and its test program, run under Wine.
add_compile_options(-static-libgcc -static-libstdc++)
add_link_options(-static)

set(PARVEX_WIN_IDL ${CMAKE_SOURCE_DIR}/module/parvex.idl)
set(PARVEX_RC ${CMAKE_SOURCE_DIR}/resources/parvex.rc)
set(PARVEX_MODULE_EXTRA)
if(EXISTS ${PARVEX_WIN_IDL})
  # The type library and its header come from the IDL through widl; the .rc
  # embeds the .tlb as TYPELIB 1.
  set(WINE_IDL_INCLUDE /usr/include/wine/wine/windows)
  set(WINE_TLB_LIBS /usr/lib/i386-linux-gnu/wine/i386-windows)
  set(GEN ${CMAKE_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${GEN})
  add_custom_command(
    OUTPUT ${GEN}/parvex.tlb ${GEN}/parvex_h.h ${GEN}/parvex_i.c
    COMMAND i686-w64-mingw32-widl -I${WINE_IDL_INCLUDE} -L${WINE_TLB_LIBS} -t -o ${GEN}/parvex.tlb ${PARVEX_WIN_IDL}
    COMMAND i686-w64-mingw32-widl -I${WINE_IDL_INCLUDE} -h -o ${GEN}/parvex_h.h ${PARVEX_WIN_IDL}
    COMMAND i686-w64-mingw32-widl -I${WINE_IDL_INCLUDE} -u -o ${GEN}/parvex_i.c ${PARVEX_WIN_IDL}
    DEPENDS ${PARVEX_WIN_IDL}
    VERBATIM)
  add_custom_target(parvex_idl DEPENDS ${GEN}/parvex.tlb ${GEN}/parvex_h.h ${GEN}/parvex_i.c)
  set(PARVEX_MODULE_EXTRA ${GEN}/parvex_i.c)
  set_source_files_properties(${GEN}/parvex_i.c PROPERTIES LANGUAGE CXX GENERATED TRUE)
  set_source_files_properties(${PARVEX_RC} PROPERTIES OBJECT_DEPENDS ${GEN}/parvex.tlb)
endif()

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources -I${CMAKE_BINARY_DIR}/generated")
enable_language(RC)

# The Windows adapters of the subsystems (controls, dialogs, list window,
# the host browser and message boxes): a library of their own so that the
# test program can drive them directly. They alone need the window, drawing,
# common-control and COM libraries.
set(PARVEX_CONTROL_SOURCES
  control/about_box_win.cpp
  control/change_filename_dlg_win.cpp
  control/choosers_win.cpp
  control/com_module_win.cpp
  control/dn_control_win.cpp
  control/download_dlg_win.cpp
  control/download_platform_win.cpp
  control/download_same_dlg_win.cpp
  control/host_browser_win.cpp
  control/list_drop_target_win.cpp
  control/list_hint_win.cpp
  control/list_view_win.cpp
  control/ole_control_activation_win.cpp
  control/ole_control_win.cpp
  control/page_notifier_win.cpp
  control/posted_changes_win.cpp
  control/property_page_win.cpp
  control/site_gate_win.cpp
  control/system_image_list_win.cpp
  control/tray_icon_win.cpp
  control/type_lib_dispatch_win.cpp
  control/up_control_win.cpp
  control/upload_bridge_win.cpp
  control/upload_list_window_win.cpp
  control/upload_progress_dlg_win.cpp
  control/upload_prompts_win.cpp
)
add_library(parvex_win_adapters STATIC ${PARVEX_CONTROL_SOURCES} cmake/empty_win.cpp)
target_include_directories(parvex_win_adapters PUBLIC ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(parvex_win_adapters PUBLIC parvex_core ole32 oleaut32 uuid comctl32 user32 gdi32 shlwapi)
if(TARGET parvex_idl)
  add_dependencies(parvex_win_adapters parvex_idl)
endif()

set(PARVEX_MODULE_SOURCES
  module/class_factory_win.cpp
  module/classes_keys_win.cpp
  module/dll_main_win.cpp
  module/module_start_win.cpp
  module/registration_win.cpp
  module/safety_categories_win.cpp
)
add_library(parvex_module SHARED ${PARVEX_MODULE_SOURCES} ${PARVEX_MODULE_EXTRA} ${PARVEX_RC} module/parvex.def)
set_target_properties(parvex_module PROPERTIES PREFIX "" OUTPUT_NAME PARVEX SUFFIX ".OCX")
target_include_directories(parvex_module PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(parvex_module PRIVATE parvex_win_adapters parvex_core)
target_link_options(parvex_module PRIVATE -Wl,--enable-stdcall-fixup)
if(TARGET parvex_idl)
  add_dependencies(parvex_module parvex_idl)
endif()

# GoogleTest from Debian's sources, built for the target.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/gtest EXCLUDE_FROM_ALL)

# The Windows test program: the core's tests that need no server of their own
# (helpers, upload list, save folder, download names), run here with the
# platform's 16-bit wide text, and the tests of the Windows adapters, with
# the parts of the page host they drive the controls through.
set(PARVEX_WIN_TESTS
  common/tests/cookies_test.cpp
  common/tests/folders_test.cpp
  common/tests/format_test.cpp
  common/tests/http_reply_test.cpp
  common/tests/settings_store_layered_test.cpp
  common/tests/url_test.cpp
  common/tests/utf8_test.cpp
  download/tests/file_name_rules_test.cpp
  download/tests/save_folder_test.cpp
  uploadlist/tests/upload_list_test.cpp
  tests/win/connect_race_win_test.cpp
  tests/win/dialog_crossing_win_test.cpp
  tests/win/download_control_test.cpp
  tests/win/download_session_win_test.cpp
  tests/win/download_win_test.cpp
  tests/win/module_registration_test.cpp
  tests/win/ocx_win.cpp
  tests/win/page_script_call_test.cpp
  tests/win/platform_win_test.cpp
  tests/win/screenshot_win.cpp
  tests/win/settings_store_win_test.cpp
  tests/win/test_container_win.cpp
  tests/win/upload_control_test.cpp
  tests/win/upload_list_window_test.cpp
  tests/win/upload_page_win_test.cpp
  tests/win/upload_start_win_test.cpp
  tools/page/browser_stand_in_win.cpp
  tools/page/control_site_win.cpp
  tools/page/png_file_win.cpp
  tools/page/screenshot_win.cpp
  tools/page/window_actions_win.cpp
)
add_executable(parvex_win_tests ${PARVEX_WIN_TESTS} ${PARVEX_MODULE_EXTRA})
target_include_directories(parvex_win_tests PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(parvex_win_tests PRIVATE parvex_win_adapters parvex_core gtest gmock gtest_main windowscodecs)
add_dependencies(parvex_win_tests parvex_module)
if(TARGET parvex_idl)
  add_dependencies(parvex_win_tests parvex_idl)
endif()

# parvex-page.exe: plays the browser for one page script, beside the module.
set(PARVEX_PAGE_SOURCES
  tools/page/browser_settings_win.cpp
  tools/page/browser_stand_in_win.cpp
  tools/page/control_site_win.cpp
  tools/page/file_actions_win.cpp
  tools/page/http_get_win.cpp
  tools/page/main_win.cpp
  tools/page/page_host_win.cpp
  tools/page/ole_drop_win.cpp
  tools/page/page_object_win.cpp
  tools/page/png_file_win.cpp
  tools/page/screenshot_win.cpp
  tools/page/script_engine_win.cpp
  tools/page/window_actions_win.cpp
)
add_executable(parvex-page ${PARVEX_PAGE_SOURCES})
target_include_directories(parvex-page PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(parvex-page PRIVATE parvex_core ole32 oleaut32 uuid user32 gdi32 shell32 advapi32 wininet ws2_32
                      windowscodecs)
add_dependencies(parvex-page parvex_module)

# parvex-trust-ca.exe: trusts the test authority in the Wine prefix the
# page tests run in.
add_executable(parvex-trust-ca tests/win/trust_ca_win.cpp)
target_compile_options(parvex-trust-ca PRIVATE -municode)
target_link_options(parvex-trust-ca PRIVATE -municode)
target_link_libraries(parvex-trust-ca PRIVATE crypt32)

# The bare WinSock loops the module is measured against (./parvex bench).
foreach(direction upload download)
  add_executable(parvex-bare-${direction} tools/bench/wine/bare_${direction}_win.cpp tools/bench/wine/bare_http_win.cpp)
  target_link_libraries(parvex-bare-${direction} PRIVATE ws2_32)
endforeach()
# The bare SChannel loop of the https rows, with the module's TLS session.
add_executable(parvex-bare-tls tools/bench/wine/bare_tls_win.cpp tools/bench/wine/bare_http_win.cpp)
target_link_libraries(parvex-bare-tls PRIVATE parvex_core)
