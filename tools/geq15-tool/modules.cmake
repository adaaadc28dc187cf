# The modules behind geq15-tool's render and response commands (the curves and corrections
# themselves live in curves/), as libraries so that the tests link exactly what the tool runs.
# Included by the tool's folder (and by the tests when they are configured alone).
include_guard(GLOBAL)

set(_tool_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(geq15_tool_modules STATIC
  ${_tool_dir}/response_svg.cpp
  ${_tool_dir}/offline_render.cpp
  ${_tool_dir}/output_file.cpp)
target_include_directories(geq15_tool_modules PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(geq15_tool_modules PUBLIC geq15_curves geq15_files)

# Audio files need libsndfile, which only the native build has; without it the tool leaves
# `render` out and says so in its help.
set(GEQ15_TOOL_HAS_SNDFILE OFF)
if(NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(SNDFILE QUIET IMPORTED_TARGET GLOBAL sndfile)
  endif()
  if(SNDFILE_FOUND)
    add_library(geq15_tool_audio STATIC ${_tool_dir}/audio_file.cpp)
    target_link_libraries(geq15_tool_audio PUBLIC geq15_tool_modules PkgConfig::SNDFILE)
    set(GEQ15_TOOL_HAS_SNDFILE ON)
  else()
    message(STATUS "libsndfile not found: geq15-tool is built without render")
  endif()
endif()
