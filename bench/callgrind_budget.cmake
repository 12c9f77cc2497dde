# The setup driver's instruction budgets, checked in the firmware build's
# tests: callgrind counts the scenario program of the bench preset's Release
# host build (build/bench), made as a step of this build.
include(ExternalProject)
set(BENCH_HOST_DIR ${PROJECT_SOURCE_DIR}/build/bench)
ExternalProject_Add(callgrind_host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${BENCH_HOST_DIR}
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} --preset bench
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${BENCH_HOST_DIR} --target callgrind_scenarios
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
add_test(NAME bench.callgrind_budget
         COMMAND ${PROJECT_SOURCE_DIR}/bench/callgrind.sh --check --program ${BENCH_HOST_DIR}/bench/callgrind_scenarios)
set_tests_properties(bench.callgrind_budget PROPERTIES LABELS bench TIMEOUT 300)
