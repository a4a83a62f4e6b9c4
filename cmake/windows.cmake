# The Windows build, cross-compiled on Linux (see mingw-w64-x86_64.cmake):
# the core over the Windows text layer and Env, and its tests, which run
# under Wine. No Qt and no ICU: Windows itself does their work here.
# Included by the top CMakeLists.txt in place of the Linux build.

function(scriblet_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
                         $<$<BOOL:${SCRIBLET_WERROR}>:-Werror>)
endfunction()

set(src ${PROJECT_SOURCE_DIR})

# <windows.h> without its min and max macros and its rarely used parts.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN)

# Text layer: code page, lower-casing, locale step, file-name encoding,
# local calendar time.
add_library(scriblet_text STATIC
  ${src}/platform/text/code_page.cpp
  ${src}/platform/text/lower_case.cpp
  ${src}/platform/text/lower_case_windows.cpp
  ${src}/platform/text/locale_setup_windows.cpp
  ${src}/platform/text/file_names.cpp
  ${src}/platform/text/file_names_windows.cpp
  ${src}/platform/text/ansi_text.cpp
  ${src}/platform/text/ansi_text_windows.cpp
  ${src}/platform/text/utf8.cpp
  ${src}/platform/text/local_time.cpp
)
target_include_directories(scriblet_text PUBLIC ${src})
scriblet_warnings(scriblet_text)

# OS layer: the real system behind Env, Windows files, clock and shell.
add_library(scriblet_env STATIC
  ${src}/platform/os/system_env.cpp
  ${src}/platform/os/env_windows.cpp
  ${src}/platform/os/editor.cpp
  ${src}/platform/os/editor_windows.cpp
)
target_link_libraries(scriblet_env PUBLIC scriblet_text shell32 user32)
scriblet_warnings(scriblet_env)

# Framework stand-ins: the application object's frame.
add_library(scriblet_framework STATIC ${src}/platform/framework/win_app_windows.cpp)
target_link_libraries(scriblet_framework PUBLIC scriblet_text)
scriblet_warnings(scriblet_framework)

# Word lists are read, words split and the index written and saved on
# second std::threads: the posix flavour of MinGW-w64 has std::thread.
find_package(Threads REQUIRED)
add_library(scriblet_archive STATIC ${src}/index/archive.cpp ${src}/index/background_writer.cpp)
target_link_libraries(scriblet_archive PUBLIC scriblet_text Threads::Threads)
scriblet_warnings(scriblet_archive)

add_library(scriblet_map STATIC ${src}/index/strong_hash.cpp ${src}/index/map_exchange.cpp)
target_link_libraries(scriblet_map PUBLIC scriblet_archive)
scriblet_warnings(scriblet_map)

add_library(scriblet_index STATIC ${src}/index/index_file.cpp ${src}/index/name_prefixes.cpp
  ${src}/index/notes_folder.cpp
  ${src}/index/word_index.cpp ${src}/index/word_list_reader.cpp)
target_link_libraries(scriblet_index PUBLIC scriblet_map scriblet_text Threads::Threads)
scriblet_warnings(scriblet_index)

add_library(scriblet_refresh STATIC
  ${src}/index/stamp.cpp
  ${src}/index/word_splitter.cpp
  ${src}/index/background_listing.cpp
  ${src}/index/refresh.cpp
  ${src}/index/refresh_reporting_memory.cpp
)
target_link_libraries(scriblet_refresh PUBLIC scriblet_index Threads::Threads)
scriblet_warnings(scriblet_refresh)

add_library(scriblet_xmap INTERFACE)
target_include_directories(scriblet_xmap INTERFACE ${src})

add_library(scriblet_search STATIC ${src}/search/scoring.cpp)
target_link_libraries(scriblet_search PUBLIC scriblet_index scriblet_xmap scriblet_text)
scriblet_warnings(scriblet_search)

# Window layer, realised with Win32: dialogs from the templates in res/, the
# list-view, the message box.
add_library(scriblet_gui STATIC
  ${src}/platform/window/gui_win32.cpp
  ${src}/platform/window/message_box_win32.cpp
  ${src}/platform/window/dialog.cpp
  ${src}/platform/window/dialog_win32.cpp
  ${src}/platform/window/list_ctrl_win32.cpp
)
target_link_libraries(scriblet_gui PUBLIC scriblet_env comctl32 user32 gdi32)
scriblet_warnings(scriblet_gui)

add_library(scriblet_res STATIC ${src}/res/dialog_templates.cpp ${src}/res/help_text.cpp)
target_include_directories(scriblet_res PUBLIC ${src})
scriblet_warnings(scriblet_res)

add_library(scriblet_dialogs STATIC ${src}/app/scriblet_dlg.cpp ${src}/search/search_dlg.cpp)
target_link_libraries(scriblet_dialogs PUBLIC scriblet_gui scriblet_res scriblet_search)
scriblet_warnings(scriblet_dialogs)

add_library(scriblet_app STATIC
  ${src}/app/command_line.cpp
  ${src}/app/new_note.cpp
  ${src}/app/progress_window.cpp
  ${src}/app/progress_window_win32.cpp
  ${src}/app/scriblet_app.cpp
  ${src}/app/system_modes.cpp
)
target_link_libraries(scriblet_app PUBLIC scriblet_framework scriblet_env scriblet_refresh
                      scriblet_dialogs)
target_compile_definitions(scriblet_app PRIVATE SCRIBLET_VERSION="${PROJECT_VERSION}")
# The command line's one question to ICU, answered by the C runtime.
set_source_files_properties(${src}/app/command_line.cpp PROPERTIES
  INCLUDE_DIRECTORIES ${src}/cmake/windows-shims)
scriblet_warnings(scriblet_app)

# scriblet.exe: a GUI program with its icon, run from any folder.
enable_language(RC)
add_executable(scriblet WIN32 ${src}/app/main.cpp ${src}/res/scriblet.rc)
target_link_libraries(scriblet PRIVATE scriblet_app)
scriblet_warnings(scriblet)

# The release: scriblet.exe without its debugging symbols, the README and
# the licence, in one zip that is made with every build.
set(release_stage ${CMAKE_BINARY_DIR}/release)
set(release_zip ${CMAKE_BINARY_DIR}/scriblet-${PROJECT_VERSION}-windows-x64.zip)
set(release_docs ${src}/README.md ${src}/LICENSE)
add_custom_command(OUTPUT ${release_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${release_stage} ${release_zip}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${release_stage}
  COMMAND ${CMAKE_STRIP} -o ${release_stage}/scriblet.exe $<TARGET_FILE:scriblet>
  COMMAND ${CMAKE_COMMAND} -E copy ${release_docs} ${release_stage}
  COMMAND ${CMAKE_COMMAND} -E chdir ${release_stage}
          ${CMAKE_COMMAND} -E tar cf ${release_zip} --format=zip .
  DEPENDS scriblet ${release_docs}
  COMMENT "Packing ${release_zip}")
add_custom_target(release_zip ALL DEPENDS ${release_zip})

# --- Tests, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR) ---

if(BUILD_TESTING)
  # GoogleTest from Debian's source package, built with our compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  add_library(scriblet_test_env STATIC
    ${src}/tests/support/test_env.cpp
    ${src}/tests/support/temp_dir_windows.cpp
  )
  target_include_directories(scriblet_test_env PUBLIC ${src})
  target_link_libraries(scriblet_test_env PUBLIC scriblet_env)
  scriblet_warnings(scriblet_test_env)

  # The Windows C runtime calls malloc_usable_size _msize.
  set(alloc_failure ${src}/tests/support/alloc_failure.cpp)
  set_source_files_properties(${alloc_failure} PROPERTIES COMPILE_DEFINITIONS
    "malloc_usable_size=_msize")

  # One test entry per binary: each start of a Wine process costs time.
  function(scriblet_windows_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${src})
    scriblet_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
  endfunction()

  scriblet_windows_test(map_test SOURCES ${src}/tests/index/map_test.cpp ${alloc_failure}
    LIBS scriblet_map)
  scriblet_windows_test(archive_test SOURCES ${src}/tests/index/archive_test.cpp
    LIBS scriblet_map)
  scriblet_windows_test(stamp_test SOURCES ${src}/tests/index/stamp_test.cpp
    LIBS scriblet_refresh)
  # The code as it was before it was made fast, which the differential
  # test holds the fast code to, byte for byte.
  add_library(scriblet_reference STATIC
    ${src}/tests/reference/map_exchange.cpp
    ${src}/tests/reference/word_index.cpp
    ${src}/tests/reference/index_file.cpp
    ${src}/tests/reference/refresh.cpp
    ${src}/tests/reference/scoring.cpp
  )
  target_include_directories(scriblet_reference PUBLIC ${src})
  target_link_libraries(scriblet_reference PUBLIC scriblet_refresh scriblet_xmap scriblet_archive)
  scriblet_warnings(scriblet_reference)

  scriblet_windows_test(word_index_test
    SOURCES ${src}/tests/index/word_index_test.cpp ${alloc_failure} LIBS scriblet_index)
  scriblet_windows_test(index_file_test
    SOURCES ${src}/tests/index/index_file_test.cpp ${alloc_failure}
    LIBS scriblet_index scriblet_test_env)
  scriblet_windows_test(index_load_test SOURCES ${src}/tests/index/index_load_test.cpp
    LIBS scriblet_reference scriblet_index scriblet_test_env)
  scriblet_windows_test(name_prefixes_test SOURCES ${src}/tests/index/name_prefixes_test.cpp
    LIBS scriblet_index)
  scriblet_windows_test(word_splitter_test
    SOURCES ${src}/tests/index/word_splitter_test.cpp ${alloc_failure} LIBS scriblet_refresh)
  scriblet_windows_test(notes_folder_test SOURCES ${src}/tests/index/notes_folder_test.cpp
    LIBS scriblet_index scriblet_test_env)
  scriblet_windows_test(background_listing_test
    SOURCES ${src}/tests/index/background_listing_test.cpp LIBS scriblet_refresh scriblet_test_env)
  scriblet_windows_test(differential_test SOURCES ${src}/tests/index/differential_test.cpp
    LIBS scriblet_reference scriblet_refresh scriblet_search scriblet_test_env)
  scriblet_windows_test(xmap_test SOURCES ${src}/tests/search/xmap_test.cpp ${alloc_failure}
    LIBS scriblet_xmap)
  scriblet_windows_test(scoring_test SOURCES ${src}/tests/search/scoring_test.cpp
    LIBS scriblet_search)
  scriblet_windows_test(text_test
    SOURCES ${src}/tests/platform/ansi_text_test.cpp ${src}/tests/platform/file_names_test.cpp
    LIBS scriblet_text)
  scriblet_windows_test(windows_locale_test
    SOURCES ${src}/tests/platform/windows_locale_test.cpp LIBS scriblet_text)
  set_tests_properties(windows_locale_test PROPERTIES ENVIRONMENT "LC_ALL=ru_RU.UTF-8")
  scriblet_windows_test(windows_env_test SOURCES ${src}/tests/platform/windows_env_test.cpp
    LIBS scriblet_index scriblet_env scriblet_test_env)

  add_test(NAME release_zip_contents COMMAND ${CMAKE_COMMAND} -E tar tf ${release_zip})
  set_tests_properties(release_zip_contents PROPERTIES
    PASS_REGULAR_EXPRESSION "scriblet\\.exe.*README\\.md|README\\.md.*scriblet\\.exe")

  scriblet_windows_test(new_note_test SOURCES ${src}/tests/windows/new_note_test.cpp
    LIBS scriblet_app scriblet_test_env)

  # The windows need a display: scripts/test-windows runs Wine in Xvfb.
  scriblet_windows_test(progress_window_test SOURCES ${src}/tests/windows/progress_window_test.cpp
    LIBS scriblet_app)
  scriblet_windows_test(dialogs_test SOURCES ${src}/tests/windows/dialogs_test.cpp
    LIBS scriblet_dialogs scriblet_test_env)
  target_sources(dialogs_test PRIVATE ${src}/res/scriblet.rc)

  # scriblet.exe /s on notes written on Linux gives Linux's notes.ndx, and
  # each system takes the other's index as its own.
  if(SCRIBLET_LINUX_PROGRAM)
    add_test(NAME cross_system_index
      COMMAND bash ${src}/tests/windows/cross_system_index_test.sh
              ${SCRIBLET_LINUX_PROGRAM} $<TARGET_FILE:scriblet>)
    set_tests_properties(cross_system_index PROPERTIES TIMEOUT 120)
  endif()
endif()
