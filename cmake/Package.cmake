# The Windows packages: the zip, and an installer made by CPack's NSIS generator (makensis from
# Debian's nsis) with our own template, cmake/NSIS.template.in:
#   cmake --build --preset win32 --target package
#     ->  VEZ-15-1.0.0.0-win32.zip and VEZ-15-1.0.0.0-win32-setup.exe
# Both programs link their runtime statically, so nothing else has to travel with them.
if(NOT WIN32 OR NOT TARGET vez15 OR NOT TARGET geq15-tool)
  return()
endif()
install(TARGETS vez15 geq15-tool RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-guide.txt DESTINATION . RENAME README.txt)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_VERBATIM_VARIABLES ON)  # the values below reach cpack as written, backslash included
set(CPACK_PACKAGE_NAME VEZ-15)
set(CPACK_PACKAGE_VENDOR Kelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME VEZ-15-${PROJECT_VERSION}-win32)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageNames.cmake)  # the installer's "-setup"
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})  # where cpack finds NSIS.template.in
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Kelmora\\VEZ-15")
# Not the default "VEZ-15 <version>": every version shares the one uninstall entry.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY VEZ-15)
set(CPACK_NSIS_DISPLAY_NAME "Kelmora Graphic EQ 15")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/vez15.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/vez15.ico)
include(CPack)
