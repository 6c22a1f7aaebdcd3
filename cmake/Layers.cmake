# The engine's layers, from the bottom up. A layer may include its own headers
# and those of the layers it names, nothing above: each layer compiles against
# a folder of links to exactly those source folders, so an include that
# points up the layering does not resolve and the build fails.
#
#   lib          support library
#   records      what a run records: the install log and the uninstall data
#   core         archive, settings, texts, command line, reports
#   engine       path variables, folders, file placement and removal, batches
#   integration  registry, uninstall registration, finishing steps
#   ui           wizard pages and background window
#   uninstall    the uninstaller's steps
#   crash        crash handler and report
#   app          entry point, the installation and uninstallation roads
#
# Inside each layer, portable code (no windows.h) sits at the top of its
# folder and builds natively too; Win32 code sits in its win/ subfolder and
# forms a second library that also sees the portable one.

set(KS_LAYERS lib records core engine integration ui uninstall crash app)
set(KS_LAYER_BELOW_lib "")
set(KS_LAYER_BELOW_records lib)
set(KS_LAYER_BELOW_core records lib)
set(KS_LAYER_BELOW_engine core records lib)
set(KS_LAYER_BELOW_integration engine core records lib)
set(KS_LAYER_BELOW_ui engine core records lib)
set(KS_LAYER_BELOW_uninstall ui integration engine core records lib)
set(KS_LAYER_BELOW_crash core records lib)
set(KS_LAYER_BELOW_app crash uninstall ui integration engine core records lib)

# The include folder of `layer`: links to its own folder and those below it.
function(ks_layer_view layer out_var)
  set(view "${CMAKE_BINARY_DIR}/layers/${layer}")
  file(REMOVE_RECURSE "${view}")
  file(MAKE_DIRECTORY "${view}")
  foreach(visible IN ITEMS ${layer} ${KS_LAYER_BELOW_${layer}})
    if(EXISTS "${CMAKE_SOURCE_DIR}/${visible}")
      file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${visible}" "${view}/${visible}" SYMBOLIC)
    endif()
  endforeach()
  set(${out_var} "${view}" PARENT_SCOPE)
endfunction()

function(ks_layer_sources layer portable_var win_var)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${layer}/*.cpp")
  set(portable)
  set(win)
  foreach(src IN LISTS all)
    if(src MATCHES "/win/")
      list(APPEND win "${src}")
    else()
      list(APPEND portable "${src}")
    endif()
  endforeach()
  set(${portable_var} "${portable}" PARENT_SCOPE)
  set(${win_var} "${win}" PARENT_SCOPE)
endfunction()

# A library for one layer's sources, or an interface library when it has none,
# so that every layer exists as a target for the one above.
function(ks_add_layer_library target view sources)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC "${view}")
    target_compile_options(${target} PRIVATE ${KS_WARNINGS} ${KS_ENGINE_COMPILE_OPTIONS})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${view}")
    set(scope INTERFACE)
  endif()
  set_property(TARGET ${target} PROPERTY KS_LINK_SCOPE ${scope})
endfunction()

# ks_<layer> for the portable code of every layer; `top_var` names the
# highest, which links everything.
function(ks_add_portable_layers top_var)
  foreach(layer IN LISTS KS_LAYERS)
    ks_layer_view(${layer} view)
    ks_layer_sources(${layer} portable win)
    ks_add_layer_library(ks_${layer} "${view}" "${portable}")
    get_property(scope TARGET ks_${layer} PROPERTY KS_LINK_SCOPE)
    foreach(below IN LISTS KS_LAYER_BELOW_${layer})
      target_link_libraries(ks_${layer} ${scope} ks_${below})
    endforeach()
    if(layer STREQUAL "lib")
      target_link_libraries(ks_lib ${scope} ${KS_LZMA} ${KS_ZLIB})
    endif()
  endforeach()
  set(${top_var} ks_app PARENT_SCOPE)
endfunction()

# ks_<layer>_win for the Win32 code of every layer (`excluded` sources are
# left out: the entry point builds the program itself).
function(ks_add_win_layers top_var excluded)
  foreach(layer IN LISTS KS_LAYERS)
    ks_layer_view(${layer} view)
    ks_layer_sources(${layer} portable win)
    list(REMOVE_ITEM win ${excluded})
    ks_add_layer_library(ks_${layer}_win "${view}" "${win}")
    get_property(scope TARGET ks_${layer}_win PROPERTY KS_LINK_SCOPE)
    target_link_libraries(ks_${layer}_win ${scope} ks_${layer})
    foreach(below IN LISTS KS_LAYER_BELOW_${layer})
      target_link_libraries(ks_${layer}_win ${scope} ks_${below}_win)
    endforeach()
    if(win)
      target_compile_definitions(ks_${layer}_win PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                 _WIN32_WINNT=0x0601)
    endif()
  endforeach()
  set(${top_var} ks_app_win PARENT_SCOPE)
endfunction()

# A header that includes one of a higher layer would slip through when only
# higher layers include it: every header of a layer also compiles alone
# against that layer's own view. `which` is "portable" or "win".
function(ks_add_header_checks which)
  foreach(layer IN LISTS KS_LAYERS)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${layer}/*.h")
    set(sources)
    foreach(header IN LISTS headers)
      if(header MATCHES "/win/" AND which STREQUAL "portable")
        continue()
      elseif(NOT header MATCHES "/win/" AND which STREQUAL "win")
        continue()
      endif()
      file(RELATIVE_PATH relative "${CMAKE_SOURCE_DIR}" "${header}")
      string(MAKE_C_IDENTIFIER "${relative}" stem)
      set(check "${CMAKE_BINARY_DIR}/header_checks/${stem}.cpp")
      set(text "#include \"${relative}\"\n")
      if(EXISTS "${check}")
        file(READ "${check}" old)
      else()
        set(old "")
      endif()
      if(NOT old STREQUAL text)
        file(WRITE "${check}" "${text}")
      endif()
      list(APPEND sources "${check}")
    endforeach()
    if(sources)
      set(target ks_${layer}_${which}_headers)
      add_library(${target} OBJECT ${sources})
      target_include_directories(${target} PRIVATE "${CMAKE_BINARY_DIR}/layers/${layer}")
      target_compile_options(${target} PRIVATE ${KS_WARNINGS})
      if(which STREQUAL "win")
        target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                   _WIN32_WINNT=0x0601)
      endif()
    endif()
  endforeach()
endfunction()
