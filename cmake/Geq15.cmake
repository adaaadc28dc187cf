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
