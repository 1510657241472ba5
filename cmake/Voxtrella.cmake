# voxtrella_add_test(<name> SOURCES ... LIBS ... [ENV k=v ...] [SERIAL])
# One GoogleTest binary per tested folder. Every test case runs as its own
# CTest entry, on Qt's offscreen platform, with its own temporary
# VOXTRELLA_HOME (see tests/common/TestMain.cpp).
function(voxtrella_add_test name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE voxtrella_testmain ${T_LIBS})
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}" TIMEOUT 120)
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# voxtrella_add_bench(<area> SOURCES ... LIBS ...) builds bench_<area>.
function(voxtrella_add_bench area)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${area} ${B_SOURCES})
  target_link_libraries(bench_${area} PRIVATE ${B_LIBS})
  target_include_directories(bench_${area} PRIVATE ${CMAKE_SOURCE_DIR}/bench/common)
endfunction()
