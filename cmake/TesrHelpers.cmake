# A layer is a set of sources compiled once into the module; layers depend one way only:
# values <- ledger <- platform <- shared screen helpers <- forms <- entry.
function(tesr_layer name)
  cmake_parse_arguments(L "" "" "GLOBS;DEPENDS" ${ARGN})
  set(_srcs)
  foreach(g IN LISTS L_GLOBS)
    file(GLOB_RECURSE _found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${g})
    list(APPEND _srcs ${_found})
  endforeach()
  if(_srcs)
    add_library(${name} OBJECT ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${L_DEPENDS})
    target_compile_definitions(${name} PRIVATE TESRPAY5_BUILDING)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${L_DEPENDS})
  endif()
endfunction()

# Every test is run the same way: offscreen, private config and data folders, a time limit.
# A test that works on a company database (BOTH_ENGINES) is registered twice: NAME on SQLite
# and NAME_pg on PostgreSQL (label "postgresql"); the PostgreSQL run reads the server's URL
# from TESR_TEST_PG_URL in the environment ctest runs in, and fails without it.
# A DESKTOP_ONLY program (its tests need a window manager) runs on the desktop only (NAME_x11).
function(tesr_add_test name)
  cmake_parse_arguments(T "BOTH_ENGINES;DESKTOP_ONLY" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tesr_testsupport ${T_LIBS})
  if(T_DESKTOP_ONLY)
    tesr_desktop_test(${name})
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS};sqlite"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TESR_TEST_ENGINE=sqlite;TESR_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp/${name}")
  if(T_BOTH_ENGINES)
    add_test(NAME ${name}_pg COMMAND ${name})
    set_tests_properties(${name}_pg PROPERTIES
      TIMEOUT ${T_TIMEOUT}
      LABELS "${T_LABELS};postgresql"
      ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;TESR_TEST_ENGINE=postgresql;TESR_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp/${name}_pg")
  endif()
endfunction()

# A test program whose tests concern windows (placement, focus and keyboard flow, first paint,
# stacking) runs a second time on a real X desktop: NAME_x11, on the xcb platform (label
# "desktop"), on the display that scripts/run-tests.sh starts (Xvfb with the openbox window
# manager) and exports as DISPLAY; without a display it fails. On SQLite only. The desktop's
# focus is shared, so its tests run one at a time.
function(tesr_desktop_test name)
  add_test(NAME ${name}_x11 COMMAND ${name})
  set_tests_properties(${name}_x11 PROPERTIES
    TIMEOUT 300
    LABELS "desktop"
    RESOURCE_LOCK x11_desktop
    ENVIRONMENT "QT_QPA_PLATFORM=xcb;TESR_TEST_ENGINE=sqlite;TESR_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp/${name}_x11")
endfunction()

# True (in OUT) when a test source works on a company database through the fixtures: it uses
# TestHost, TestDatabase, ScratchDatabase or the ledger tests' LedgerFile.
function(tesr_uses_database src out)
  # Read again when the source changes, so a test that starts using a fixture gets both runs.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
  file(READ ${src} _text)
  string(REGEX MATCH "(TestHost|TestDatabase|ScratchDatabase|LedgerFile)[^.a-zA-Z0-9_\"]" _hit "${_text}")
  if(_hit)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()
