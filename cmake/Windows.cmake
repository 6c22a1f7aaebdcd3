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
# The default wizard pictures go in xz-packed, as RCDATA of their bitmap
# numbers: as plain bitmaps they would be most of the engine's size. The
# engine unpacks one when it shows it (ui/win/wizard_page.cpp).
find_program(KS_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(KS_PACKED_PICTURES 2 side 3 header 4 button_go 5 button_cancel
                       202 side_192 203 header_192 204 button_go_192 205 button_cancel_192)
set(_ks_pictures_rc "// Made by cmake/Windows.cmake from ui/resources.\n")
set(_ks_packed_files)
while(KS_PACKED_PICTURES)
  list(POP_FRONT KS_PACKED_PICTURES _id _name)
  set(_packed "${CMAKE_CURRENT_BINARY_DIR}/pictures/${_name}.bmp.xz")
  add_custom_command(OUTPUT "${_packed}"
                     COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/pictures"
                     COMMAND "${KS_PYTHON}" "${CMAKE_SOURCE_DIR}/scripts/pack_picture.py"
                             "${CMAKE_SOURCE_DIR}/ui/resources/${_name}.bmp" "${_packed}"
                     DEPENDS "${CMAKE_SOURCE_DIR}/ui/resources/${_name}.bmp"
                             "${CMAKE_SOURCE_DIR}/scripts/pack_picture.py"
                     VERBATIM)
  # The Win32 tests compare what the engine unpacks with the pictures.
  configure_file("${CMAKE_SOURCE_DIR}/ui/resources/${_name}.bmp" "engine-pictures/${_name}.bmp" COPYONLY)
  string(APPEND _ks_pictures_rc "${_id} RCDATA \"${_packed}\"\n")
  list(APPEND _ks_packed_files "${_packed}")
endwhile()
file(GENERATE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/pictures.rc" CONTENT "${_ks_pictures_rc}")
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/pictures.rc" PROPERTIES OBJECT_DEPENDS "${_ks_packed_files}")
add_executable(kestrelon WIN32 ${KS_ENTRY_SOURCE} ${KS_RESOURCES} "${CMAKE_CURRENT_BINARY_DIR}/pictures.rc")
target_compile_options(kestrelon PRIVATE ${KS_WARNINGS} ${KS_ENGINE_COMPILE_OPTIONS})
target_link_libraries(kestrelon PRIVATE ${KS_WIN})
# The engine as shipped: unused sections dropped and no symbols. The link map
# beside it (kestrelon.map) names the function at an address of a crash
# report: the engine loads at its preferred base unless the system moves it,
# and the report's module list gives the base it had.
target_link_options(kestrelon PRIVATE ${KS_WIN_LINK_OPTIONS} -Wl,--gc-sections -s
                    "-Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/kestrelon.map")

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

# The component tests' fixtures, made here from tests/fixtures with Debian's
# tools (nothing is downloaded): two self-registering COM servers (one faults
# in DllRegisterServer), a type library (the IDL compiler), two TrueType fonts
# with their own family names (fontTools), two driver packages (with and
# without a catalog file) and a Windows Installer package (wixl).
set(KS_FIXTURES "${CMAKE_SOURCE_DIR}/tests/fixtures")
foreach(dll IN ITEMS kscomserver kscomfault)
  add_library(${dll} SHARED "${KS_FIXTURES}/kscomserver.cpp")
  set_target_properties(${dll} PROPERTIES PREFIX "")
  target_compile_options(${dll} PRIVATE ${KS_WARNINGS})
  # Undecorated exports: regsvr32 looks the entry points up by their plain names.
  target_link_options(${dll} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
endforeach()
target_compile_definitions(kscomfault PRIVATE KS_COM_FAULT)

find_program(KS_WIDL NAMES ${KS_MINGW_TRIPLE}-widl REQUIRED)
find_program(KS_WIXL NAMES wixl REQUIRED)
# Debian's interpreter, which has fontTools (another python3 on PATH may not).
find_program(KS_FIXTURE_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KS_WIDL_TARGET --win64)
  set(KS_WIXL_ARCH x64)
else()
  set(KS_WIDL_TARGET --win32)
  set(KS_WIXL_ARCH x86)
endif()
add_custom_command(OUTPUT kstypelib.tlb
  COMMAND "${KS_WIDL}" ${KS_WIDL_TARGET} -t -o kstypelib.tlb "${KS_FIXTURES}/kstypelib.idl"
  DEPENDS "${KS_FIXTURES}/kstypelib.idl" VERBATIM)
set(KS_FIXTURE_FILES kstypelib.tlb)
foreach(font IN ITEMS "Sans" "Serif")
  string(TOLOWER "${font}" stem)
  add_custom_command(OUTPUT ksfont-${stem}.ttf
    COMMAND "${KS_FIXTURE_PYTHON}" "${KS_FIXTURES}/make_font.py" "Kestrelon Test ${font}" ksfont-${stem}.ttf
    DEPENDS "${KS_FIXTURES}/make_font.py" VERBATIM)
  list(APPEND KS_FIXTURE_FILES ksfont-${stem}.ttf)
endforeach()
foreach(inf IN ITEMS ksdriver-plain.inf ksdriver-catalog.inf)
  configure_file("${KS_FIXTURES}/${inf}" "${inf}" COPYONLY)
endforeach()
add_custom_command(OUTPUT kspackage.msi
  COMMAND "${KS_WIXL}" -a ${KS_WIXL_ARCH} -o "${CMAKE_CURRENT_BINARY_DIR}/kspackage.msi" kspackage.wxs
  WORKING_DIRECTORY "${KS_FIXTURES}"
  DEPENDS "${KS_FIXTURES}/kspackage.wxs" "${KS_FIXTURES}/kspackage-payload.txt" VERBATIM)
list(APPEND KS_FIXTURE_FILES kspackage.msi)
add_custom_target(ks_component_fixtures ALL DEPENDS ${KS_FIXTURE_FILES})

# The authoring tool, from the same code as the Linux one.
include(cmake/Authoring.cmake)
