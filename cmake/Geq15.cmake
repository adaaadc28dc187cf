# Build rules shared by every folder.

# The engine is defined to the bit: double sums of float operands, rounded to float at fixed
# points. x87 keeps 80-bit intermediates and a fused multiply-add skips a rounding, so both are
# ruled out; fast-math is never used.
add_compile_options(-Wall -Wextra -ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686|i386|x86$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(WIN32)
  # No MinGW runtime DLL has to sit beside the program or a test.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(GEQ15_SANITIZE)
  add_compile_options(-fsanitize=${GEQ15_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${GEQ15_SANITIZE})
endif()

if(GEQ15_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(GEQ15_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(GEQ15_GTEST_MAIN gtest_main)
  else()
    find_package(GTest REQUIRED)
    set(GEQ15_GTEST_MAIN GTest::gtest_main)
  endif()
endif()

# geq15_test(NAME SOURCES file... LIBS lib... [LABELS label...])
# One GoogleTest program, registered with CTest; cross builds run it under Wine.
function(geq15_test name)
  if(NOT GEQ15_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${GEQ15_GTEST_MAIN})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# geq15_fuzzer(NAME SOURCES file... LIBS lib... CORPUS dir)
# A libFuzzer target; CTest replays its corpus and then fuzzes it for a bounded time.
set(GEQ15_FUZZ_SECONDS 30 CACHE STRING "Seconds each fuzz target runs in the test suite")
function(geq15_fuzzer name)
  if(NOT GEQ15_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   ${PROJECT_SOURCE_DIR}/scripts/run-fuzzer.sh $<TARGET_FILE:${name}> ${F_CORPUS} ${work} ${GEQ15_FUZZ_SECONDS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900 LABELS fuzz)
endfunction()

# Adds every direct sub-folder that has a CMakeLists.txt, in name order: tests/ and tools/
# keep one folder per subsystem or tool.
function(geq15_add_subfolders)
  file(GLOB parts LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT parts)
  foreach(part ${parts})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${part}/CMakeLists.txt)
      add_subdirectory(${part})
    endif()
  endforeach()
endfunction()
