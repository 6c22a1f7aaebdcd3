# The authoring tool: kestrelon-build turns a TOML manifest and the product's
# files into setup.exe (the engine plus its ".setup" section). Its logic lives
# in ks_authoring so that the unit tests link the same code as the tool.
# The same code builds natively and with the mingw cross compiler (include
# this file from the Windows build as well; there it has no unit tests).
find_package(Threads REQUIRED)
if(CMAKE_CROSSCOMPILING)
  # The header-only library is the host's. Copy it alone: handing the cross
  # compiler /usr/include would give it the host's C library headers too.
  find_path(KS_TOMLPP_HOST_INCLUDE toml++/toml.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(COPY "${KS_TOMLPP_HOST_INCLUDE}/toml++" DESTINATION "${CMAKE_BINARY_DIR}/tomlplusplus")
  set(KS_TOMLPP_INCLUDE "${CMAKE_BINARY_DIR}/tomlplusplus")
else()
  find_path(KS_TOMLPP_INCLUDE toml++/toml.h REQUIRED)
endif()

file(GLOB KS_AUTHORING_SOURCES CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/authoring/*.cpp")
list(REMOVE_ITEM KS_AUTHORING_SOURCES "${CMAKE_SOURCE_DIR}/authoring/main.cpp")

add_library(ks_authoring STATIC ${KS_AUTHORING_SOURCES})
target_include_directories(ks_authoring PUBLIC "${CMAKE_SOURCE_DIR}")
if(NOT KS_TOMLPP_INCLUDE STREQUAL "/usr/include")
  target_include_directories(ks_authoring SYSTEM PUBLIC "${KS_TOMLPP_INCLUDE}")
endif()
target_compile_options(ks_authoring PRIVATE ${KS_WARNINGS})
# Parse errors come back as values; no exception leaves the TOML library.
target_compile_definitions(ks_authoring PUBLIC TOML_EXCEPTIONS=0)
# The wizard layer's portable rules: the pictures' checks and resource form.
target_link_libraries(ks_authoring PUBLIC ks_ui ${KS_LZMA} Threads::Threads)

# The engine that the tool copies when --engine is not given: natively the
# shipped 32-bit engine of the superbuild's cross build; on Windows, where a
# build-tree path means nothing to the tool's users, "kestrelon.exe" in the
# working folder.
if(WIN32)
  set(_ks_engine "kestrelon.exe")
else()
  set(_ks_engine "${CMAKE_BINARY_DIR}/win-i686/kestrelon.exe")
endif()
set(KS_AUTHORING_ENGINE "${_ks_engine}"
    CACHE FILEPATH "Engine that kestrelon-build uses when --engine is not given")

add_executable(kestrelon-build "${CMAKE_SOURCE_DIR}/authoring/main.cpp")
target_compile_options(kestrelon-build PRIVATE ${KS_WARNINGS})
target_compile_definitions(kestrelon-build PRIVATE KS_DEFAULT_ENGINE="${KS_AUTHORING_ENGINE}")
target_link_libraries(kestrelon-build PRIVATE ks_authoring)
if(WIN32)
  target_link_options(kestrelon-build PRIVATE -municode -static -static-libgcc -static-libstdc++)
endif()

if(TARGET ks_unit_tests)
  target_link_libraries(ks_unit_tests PRIVATE ks_authoring)
endif()
