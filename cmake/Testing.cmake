# kestrom_add_unit_test(NAME SOURCES file... LIBS lib...)
# One GoogleTest program per module. Natively every test case is its own ctest
# test; the Windows build runs each program once under Wine, because each Wine
# process start costs far more than the tests inside it.
set(KESTROM_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix of this build tree")
set(KESTROM_WINE_ENV
  "WINEPREFIX=${KESTROM_WINEPREFIX}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml=")

function(kestrom_add_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(KESTROM_WINDOWS)
    add_test(NAME win.${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(win.${name} PROPERTIES ENVIRONMENT "${KESTROM_WINE_ENV}" TIMEOUT 600 LABELS wine)
  else()
    # The ThreadSanitizer tree runs the same cases again; its names say so.
    if(KESTROM_SANITIZE STREQUAL "thread")
      set(prefix "tsan.")
      set(label tsan)
      set(environment "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
    else()
      set(prefix "")
      set(label unit)
      set(environment "")
    endif()
    include(GoogleTest)
    gtest_discover_tests(${name} TEST_PREFIX "${prefix}${name}." DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 300 LABELS ${label} ENVIRONMENT "${environment}")
  endif()
endfunction()

# kestrom_add_integration_test(NAME COMMAND cmd... [LABELS l] [TIMEOUT s])
# Tests that start real peers (pymodbus, libmodbus, socat); native only.
function(kestrom_add_integration_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "COMMAND;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${ARG_COMMAND})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "integration;${ARG_LABELS}")
endfunction()
