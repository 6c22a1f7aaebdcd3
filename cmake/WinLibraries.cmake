# liblzma and zlib for the Windows build, as static imported targets.
#
# zlib comes from Debian's libz-mingw-w64-dev. liblzma is built from Debian's
# xz-utils source package into the build tree once (fetch and build are both
# skipped when their results exist), so the engine links it statically.

set(KS_DEPS_DIR "${CMAKE_BINARY_DIR}/_deps" CACHE PATH "Where fetched dependency sources live")
set(_xz_src "${KS_DEPS_DIR}/xz-src")
# Its own folder name for each change of the flags below, so that existing
# build trees build it again.
set(_xz_build "${CMAKE_BINARY_DIR}/_deps/xz-build-gc")
set(_xz_lib "${_xz_build}/liblzma.a")

if(NOT EXISTS "${_xz_lib}")
  execute_process(
    COMMAND "${CMAKE_SOURCE_DIR}/scripts/fetch-xz-source.sh" "${_xz_src}"
    RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "Could not fetch the xz-utils source package (${_rc})")
  endif()
  message(STATUS "Building liblzma for ${KS_MINGW_TRIPLE} from ${_xz_src}")
  file(REMOVE_RECURSE "${_xz_build}")  # a half-configured earlier attempt is not reused
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${_xz_src}" -B "${_xz_build}" -G Ninja
            "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}"
            -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
            # The engine links only the decoder: with a section per function
            # the linker leaves the encoder out. Unwinding tables would keep
            # every function (the linker keeps all of .eh_frame, which names
            # them), and no exception passes through C code.
            "-DCMAKE_C_FLAGS=-ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables"
    OUTPUT_QUIET RESULT_VARIABLE _rc)
  if(_rc EQUAL 0)
    execute_process(COMMAND "${CMAKE_COMMAND}" --build "${_xz_build}" --target liblzma
                    OUTPUT_QUIET RESULT_VARIABLE _rc)
  endif()
  if(NOT _rc EQUAL 0 OR NOT EXISTS "${_xz_lib}")
    message(FATAL_ERROR "Building liblzma for Windows failed (${_rc})")
  endif()
endif()

add_library(ks_lzma STATIC IMPORTED GLOBAL)
set_target_properties(ks_lzma PROPERTIES
  IMPORTED_LOCATION "${_xz_lib}"
  INTERFACE_INCLUDE_DIRECTORIES "${_xz_src}/src/liblzma/api"
  INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)

find_library(KS_ZLIB_STATIC NAMES libz.a REQUIRED)
find_path(KS_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(ks_zlib STATIC IMPORTED GLOBAL)
set_target_properties(ks_zlib PROPERTIES
  IMPORTED_LOCATION "${KS_ZLIB_STATIC}"
  INTERFACE_INCLUDE_DIRECTORIES "${KS_ZLIB_INCLUDE}")
