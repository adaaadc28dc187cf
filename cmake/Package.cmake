# The Windows package: VEZ-15.exe, geq15-tool.exe and a plain-text guide in one zip,
#   cmake --build --preset win32 --target package   ->  VEZ-15-1.0.0.0-win32.zip
# Both programs link their runtime statically, so nothing else has to travel with them.
if(NOT WIN32 OR NOT TARGET vez15 OR NOT TARGET geq15-tool)
  return()
endif()
install(TARGETS vez15 geq15-tool RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-guide.txt DESTINATION . RENAME README.txt)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VEZ-15)
set(CPACK_PACKAGE_VENDOR Kelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME VEZ-15-${PROJECT_VERSION}-win32)
include(CPack)
