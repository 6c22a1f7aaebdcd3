# Windows targets: the engine, the Win32 layer, its googletest suite and the
# Windows-side test helper programs. Everything links statically, so the engine
# is one file with no DLL beside it.

# Only the system's known DLLs, which the loader always takes from the system
# folder: an import resolved before the entry point runs would otherwise be
# looked for in the installer's own folder (a downloads folder) first. Every
# other DLL is loaded at run time by its full system path (system_library.h);
# the engine's import table is checked by a test.
set(KS_WIN_SYSTEM_LIBS
  kernel32 user32 gdi32 shell32 shlwapi ole32 oleaut32 uuid advapi32 comdlg32 setupapi psapi)
set(KS_WIN_LINK_OPTIONS -municode -static -static-libgcc -static-libstdc++)

# The entry point lives apart so that the test programs can link the Win32
# layers; KS_WIN names the top one, which links all of them.
set(KS_ENTRY_SOURCE "${CMAKE_SOURCE_DIR}/app/win/main.cpp")
ks_add_win_layers(KS_WIN "${KS_ENTRY_SOURCE}")
target_link_libraries(ks_lib_win PUBLIC ${KS_WIN_SYSTEM_LIBS})
# One of the two builds is enough to compile every Win32 header alone.
option(KS_CHECK_WIN_HEADERS "Compile each Win32 header alone against its layer" OFF)
if(KS_CHECK_WIN_HEADERS)
  ks_add_header_checks(win)
endif()

file(GLOB KS_RESOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/ui/resources/*.rc")
# What the resource scripts include: the compiler does not report these files.
file(GLOB KS_RESOURCE_INPUTS CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/ui/resources/*.rci"
     "${CMAKE_SOURCE_DIR}/ui/resources/*.bmp" "${CMAKE_SOURCE_DIR}/ui/resources/*.ico"
     "${CMAKE_SOURCE_DIR}/ui/resources/*.manifest")
set_source_files_properties(${KS_RESOURCES} PROPERTIES OBJECT_DEPENDS "${KS_RESOURCE_INPUTS}")
add_executable(kestrelon WIN32 ${KS_ENTRY_SOURCE} ${KS_RESOURCES})
target_compile_options(kestrelon PRIVATE ${KS_WARNINGS})
target_link_libraries(kestrelon PRIVATE ${KS_WIN})
target_link_options(kestrelon PRIVATE ${KS_WIN_LINK_OPTIONS})

# googletest from Debian's sources, built with the same cross compiler.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)

file(GLOB KS_WIN_TEST_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/win/*.cpp")
if(KS_WIN_TEST_SOURCES)
  add_executable(ks_win_tests ${KS_WIN_TEST_SOURCES})
  target_compile_options(ks_win_tests PRIVATE ${KS_WARNINGS})
  target_include_directories(ks_win_tests PRIVATE "${CMAKE_SOURCE_DIR}")
  target_link_libraries(ks_win_tests PRIVATE ${KS_WIN} gtest gtest_main)
  target_link_options(ks_win_tests PRIVATE -static -static-libgcc -static-libstdc++)
endif()

# Test helper programs: one executable per source file in tests/tools.
file(GLOB KS_TOOL_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/tools/*.cpp")
foreach(src IN LISTS KS_TOOL_SOURCES)
  get_filename_component(name "${src}" NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${KS_WARNINGS})
  target_link_libraries(${name} PRIVATE ${KS_WIN})
  target_link_options(${name} PRIVATE ${KS_WIN_LINK_OPTIONS})
endforeach()

# The DLL the planting tests put beside the engine under system DLLs' names.
add_library(ksplanted SHARED "${CMAKE_SOURCE_DIR}/tests/planted/ksplanted.cpp")
set_target_properties(ksplanted PROPERTIES PREFIX "")
target_compile_options(ksplanted PRIVATE ${KS_WARNINGS})
target_link_options(ksplanted PRIVATE -static -static-libgcc -static-libstdc++)

# The authoring tool, from the same code as the Linux one.
include(cmake/Authoring.cmake)
