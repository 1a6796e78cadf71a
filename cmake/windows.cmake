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

# The Windows adapters of the subsystems (controls, dialogs, list window): a
# library of their own so that the test program can drive them directly.
add_library(parvex_win_adapters STATIC ${PARVEX_WIN_ADAPTER_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/empty_win.cpp)
target_include_directories(parvex_win_adapters PUBLIC ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(parvex_win_adapters PUBLIC parvex_core)
if(TARGET parvex_idl)
  add_dependencies(parvex_win_adapters parvex_idl)
endif()

file(GLOB PARVEX_MODULE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/module/*_win.cpp)
add_library(parvex_module SHARED ${PARVEX_MODULE_SOURCES} ${PARVEX_MODULE_EXTRA} ${PARVEX_RC}
            ${CMAKE_SOURCE_DIR}/module/parvex.def)
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
# (helpers, upload list, save folder, download names), run here with the platform's 16-bit
# wide text, and the tests of the Windows adapters.
file(GLOB PARVEX_WIN_TESTS CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/common/tests/*_test.cpp
     ${CMAKE_SOURCE_DIR}/uploadlist/tests/*_test.cpp
     ${CMAKE_SOURCE_DIR}/download/tests/save_folder_test.cpp
     ${CMAKE_SOURCE_DIR}/download/tests/file_name_rules_test.cpp
     ${CMAKE_SOURCE_DIR}/tests/win/*.cpp
     ${CMAKE_SOURCE_DIR}/tools/page/browser_stand_in_win.cpp
     ${CMAKE_SOURCE_DIR}/tools/page/control_site_win.cpp
     ${CMAKE_SOURCE_DIR}/tools/page/png_writer.cpp
     ${CMAKE_SOURCE_DIR}/tools/page/screenshot_win.cpp
     ${CMAKE_SOURCE_DIR}/tools/page/window_actions_win.cpp)
foreach(dir ${PARVEX_CORE_DIRS} module control)
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/tests/*_win_test.cpp)
  list(APPEND PARVEX_WIN_TESTS ${found})
endforeach()
list(REMOVE_DUPLICATES PARVEX_WIN_TESTS)
file(GLOB PARVEX_WIN_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*_portable.cpp)
add_executable(parvex_win_tests ${PARVEX_WIN_TESTS} ${PARVEX_WIN_TEST_SUPPORT} ${PARVEX_MODULE_EXTRA})
target_include_directories(parvex_win_tests PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(parvex_win_tests PRIVATE parvex_win_adapters parvex_core gtest gmock gtest_main)
add_dependencies(parvex_win_tests parvex_module)
if(TARGET parvex_idl)
  add_dependencies(parvex_win_tests parvex_idl)
endif()

# parvex-page.exe: plays the browser for one page script, beside the module.
file(GLOB PARVEX_PAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/page/*.cpp)
add_executable(parvex-page ${PARVEX_PAGE_SOURCES})
target_include_directories(parvex-page PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(parvex-page PRIVATE ole32 oleaut32 uuid user32 gdi32 shell32)
add_dependencies(parvex-page parvex_module)

# The bare WinSock loops the module is measured against (./parvex bench).
foreach(direction upload download)
  add_executable(parvex-bare-${direction} ${CMAKE_SOURCE_DIR}/tools/bench/wine/bare_${direction}_win.cpp)
  target_link_libraries(parvex-bare-${direction} PRIVATE ws2_32)
endforeach()
