# Helpers shared by the folders: one driver source set builds a firmware
# image or a host library, and every .efi goes through the PE check.

# add_efi_image(<name> ENTRY <symbol> SUBSYSTEM <n> SOURCES ... LIBS ...)
function(add_efi_image name)
  cmake_parse_arguments(ARG "" "ENTRY;SUBSYSTEM" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SUBSYSTEM)
    set(ARG_SUBSYSTEM 11)
  endif()
  if(ARG_SUBSYSTEM EQUAL 10)
    set(subsys efi_application)
  else()
    set(subsys efi_boot_service_driver)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES LINK_FLAGS "/entry:${ARG_ENTRY} /subsystem:${subsys}")
  add_test(NAME pe_check.${name}
           COMMAND ${CMAKE_COMMAND} -DREADOBJ=${UEFI_LLVM_READOBJ} -DIMAGE=$<TARGET_FILE:${name}>
                   -DSUBSYSTEM=${ARG_SUBSYSTEM} -P ${PROJECT_SOURCE_DIR}/cmake/pe_check.cmake)
  set_tests_properties(pe_check.${name} PROPERTIES LABELS pe)
endfunction()

# add_host_test(<name> SOURCES ... LIBS ...): one GoogleTest executable, one CTest test.
function(add_host_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set(labels host ${ARG_LABELS})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 300)
endfunction()

# add_fuzz_target(<name> SECONDS <n> SOURCES ... LIBS ... CORPUS <dir>): a libFuzzer
# binary and a CTest run of it for a bounded time over a copy of its seed corpus.
function(add_fuzz_target name)
  cmake_parse_arguments(ARG "" "SECONDS;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  # The compile flags leave the fuzzer runtime out (it brings main); link it here.
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus)
  add_test(NAME fuzz.${name}
           COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DSEEDS=${ARG_CORPUS} -DWORK=${work}
                   -DSECONDS=${ARG_SECONDS} -P ${PROJECT_SOURCE_DIR}/cmake/run_fuzzer.cmake)
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()

# add_size_budget(<image target> <bytes>): a test that the image stays within its size.
function(add_size_budget name limit)
  add_test(NAME size_budget.${name}
           COMMAND ${CMAKE_COMMAND} -DIMAGE=$<TARGET_FILE:${name}> -DLIMIT=${limit}
                   -P ${PROJECT_SOURCE_DIR}/cmake/size_check.cmake)
  set_tests_properties(size_budget.${name} PROPERTIES LABELS pe)
endfunction()
