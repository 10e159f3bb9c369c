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
function(tesr_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tesr_testsupport ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TESR_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp/${name}")
endfunction()
