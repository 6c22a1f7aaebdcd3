# Native (Linux) targets: unit tests of the portable code, the end-to-end suite
# that drives the Windows engine under Wine, fuzz targets, and the two Windows
# cross builds, whose googletest suites ctest runs under Wine.
include(GoogleTest)
include(ExternalProject)

find_package(GTest REQUIRED)

set(KS_WINE_STATE "${CMAKE_BINARY_DIR}/wine-state")

# --- unit ------------------------------------------------------------------
# The fuzz build runs only the fuzz targets; the unit tests run in the native build.
file(GLOB KS_UNIT_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/unit/*.cpp")
if(KS_UNIT_SOURCES AND NOT KS_FUZZ)
  add_executable(ks_unit_tests ${KS_UNIT_SOURCES})
  target_compile_options(ks_unit_tests PRIVATE ${KS_WARNINGS})
  target_compile_definitions(ks_unit_tests PRIVATE KS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(ks_unit_tests PRIVATE ${KS_PORTABLE} GTest::gtest GTest::gtest_main)
  # NO_PRETTY_VALUES: with named parameters CMake would keep gtest's
  # "# GetParam() = ..." comment in the test's name.
  gtest_discover_tests(ks_unit_tests TEST_PREFIX "unit." NO_PRETTY_VALUES PROPERTIES LABELS unit
                       DISCOVERY_TIMEOUT 60)
endif()

if(NOT KS_FUZZ)
  include(${CMAKE_SOURCE_DIR}/cmake/Authoring.cmake)
  # The fuzzing campaign builds these manifests into its corpus; building them
  # here keeps them in step with what the authoring tool accepts.
  file(GLOB KS_FUZZ_MANIFESTS CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/fuzz/installers/*.toml")
  foreach(manifest IN LISTS KS_FUZZ_MANIFESTS)
    get_filename_component(name "${manifest}" NAME_WE)
    add_test(NAME fuzz_installers.${name}
             COMMAND kestrelon-build "${manifest}" --quiet --no-date
                     -o "${CMAKE_BINARY_DIR}/fuzz-installer-${name}.exe")
    set_tests_properties(fuzz_installers.${name} PROPERTIES LABELS unit)
  endforeach()
endif()

# --- fuzz (clang with -DKS_FUZZ=ON) ----------------------------------------
if(KS_FUZZ)
  file(GLOB KS_FUZZ_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp")
  set(KS_FUZZ_SECONDS 30 CACHE STRING "Run time of each fuzz target under ctest")
  foreach(src IN LISTS KS_FUZZ_SOURCES)
    get_filename_component(name "${src}" NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined ${KS_WARNINGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${KS_PORTABLE})
    set(corpus "${CMAKE_BINARY_DIR}/fuzz-corpus/${name}")
    add_test(NAME fuzz.${name}
             COMMAND "${CMAKE_SOURCE_DIR}/scripts/run-fuzz.sh" "$<TARGET_FILE:${name}>"
                     "${corpus}" "${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name}" ${KS_FUZZ_SECONDS})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  endforeach()
  # Cuts the targets' inputs out of built installers for a campaign's corpus
  # (scripts/fuzz-campaign.sh).
  add_executable(ks_fuzz_pieces "${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_pieces.cpp")
  target_compile_options(ks_fuzz_pieces PRIVATE ${KS_WARNINGS})
  target_link_libraries(ks_fuzz_pieces PRIVATE ${KS_PORTABLE})
endif()

if(NOT KS_WITH_WINDOWS)
  return()
endif()

# --- the Windows builds --------------------------------------------------
# i686 is the shipped engine. x86_64 is the same source built for hosts that
# cannot execute 32-bit x86 code at all (some sandboxes refuse both 32-bit ELF
# programs and WoW64's 32-bit code segment, so Wine cannot run i686 there).
foreach(arch i686 x86_64)
  set(bin "${CMAKE_BINARY_DIR}/win-${arch}")
  # One of the two builds compiles every Win32 header alone as well.
  set(check_headers OFF)
  if(arch STREQUAL "x86_64")
    set(check_headers ON)
  endif()
  ExternalProject_Add(win-${arch}
    SOURCE_DIR "${CMAKE_SOURCE_DIR}"
    BINARY_DIR "${bin}"
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake"
               -DCMAKE_BUILD_TYPE=Release
               "-DKS_WERROR=${KS_WERROR}"
               "-DKS_DEPS_DIR=${CMAKE_BINARY_DIR}/_deps"
               "-DKS_CHECK_WIN_HEADERS=${check_headers}"
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  set(KS_WIN_BIN_${arch} "${bin}")
endforeach()

# --- the shipped engine's size ---------------------------------------------
# The i686 engine as the authoring tool copies it. Its goal is 400 KB; the
# limit is today's size with a little room, lowered as the engine shrinks.
set(KS_ENGINE_SIZE_LIMIT 983040)  # bytes
add_test(NAME win.engine_size COMMAND "${CMAKE_SOURCE_DIR}/tests/engine-size.sh"
         "${KS_WIN_BIN_i686}/kestrelon.exe" "${KS_WIN_BIN_i686}/kestrelon.map" ${KS_ENGINE_SIZE_LIMIT})
set_tests_properties(win.engine_size PROPERTIES LABELS win)

# --- wine environment fixture ---------------------------------------------
# One Xvfb display and one prefix (copied from a cached template) per ctest
# run; every win and e2e test requires it.
add_test(NAME wine.setup COMMAND "${CMAKE_SOURCE_DIR}/tests/wine-env.sh" start "${KS_WINE_STATE}"
         "${KS_WIN_BIN_i686}" "${KS_WIN_BIN_x86_64}")
add_test(NAME wine.cleanup COMMAND "${CMAKE_SOURCE_DIR}/tests/wine-env.sh" stop "${KS_WINE_STATE}")
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine LABELS "win;e2e" TIMEOUT 900)
set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine LABELS "win;e2e" TIMEOUT 120)

# --- win: the cross-compiled googletest suite, under Wine -----------------
add_test(NAME win.suite COMMAND "${CMAKE_SOURCE_DIR}/tests/wine-env.sh" run-win-tests "${KS_WINE_STATE}")
set_tests_properties(win.suite PROPERTIES LABELS win FIXTURES_REQUIRED wine TIMEOUT 600)

# --- e2e ---------------------------------------------------------------------
file(GLOB KS_E2E_SOURCES CONFIGURE_DEPENDS
     "${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp" "${CMAKE_SOURCE_DIR}/tests/e2e/harness/*.cpp")
if(KS_E2E_SOURCES)
  add_executable(ks_e2e_tests ${KS_E2E_SOURCES})
  target_compile_options(ks_e2e_tests PRIVATE ${KS_WARNINGS})
  target_compile_definitions(ks_e2e_tests PRIVATE KS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             KS_WINE_STATE="${KS_WINE_STATE}"
                             KS_AUTHORING_TOOL="$<TARGET_FILE:kestrelon-build>")
  # The shipping tests build their installers with the authoring tool.
  add_dependencies(ks_e2e_tests kestrelon-build)
  target_include_directories(ks_e2e_tests PRIVATE "${CMAKE_SOURCE_DIR}/tests/e2e")
  target_link_libraries(ks_e2e_tests PRIVATE ${KS_PORTABLE} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(ks_e2e_tests TEST_PREFIX "e2e." DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       TEST_FILTER "-Serial*:*/Serial*"
                       PROPERTIES LABELS e2e FIXTURES_REQUIRED wine TIMEOUT 300)
  # Suites named Serial* end every program of the shared prefix (a simulated
  # restart) or look at the shared screen, so they run alone; a parameterised
  # suite's name starts with its instantiation's ("Modes/Serial...").
  gtest_discover_tests(ks_e2e_tests TEST_PREFIX "e2e." DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       TEST_FILTER "Serial*:*/Serial*"
                       PROPERTIES LABELS e2e FIXTURES_REQUIRED wine TIMEOUT 300 RUN_SERIAL TRUE)
endif()
