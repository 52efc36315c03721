# What Windows needs beside tolvane.exe: the Qt libraries that it loads, with MinGW's runtime when
# built with MinGW, the licences, and the zip and installer that CPack makes of them. Everything
# lands in one folder, tolvane.exe at its top, so that it runs where it is unpacked.

# ---- The libraries tolvane.exe loads -------------------------------------------------------
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
foreach(library Core Gui Widgets SerialPort)
  install(FILES $<TARGET_FILE:Qt6::${library}> DESTINATION .)
endforeach()
# Qt looks for its plugins in folders named by their kind, beside the program.
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
if(TARGET Qt6::QModernWindowsStylePlugin)
  install(FILES $<TARGET_FILE:Qt6::QModernWindowsStylePlugin> DESTINATION styles)  # Qt 6.7 on
elseif(TARGET Qt6::QWindowsVistaStylePlugin)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()
# Qt is under the LGPL: it is linked as the libraries above, and its licence texts go with it.
file(GLOB qt_licences ${QT6_INSTALL_PREFIX}/licenses/*.txt)
if(NOT qt_licences)
  message(WARNING "No licence texts in ${QT6_INSTALL_PREFIX}/licenses: the package lacks Qt's")
endif()
install(FILES ${qt_licences} DESTINATION licenses/Qt)

if(MINGW)
  install(FILES ${TOLVANE_MINGW_RUNTIME} DESTINATION .)
  # Their licences, as Debian's packages of them state: GCC's runtime (GPL with the runtime
  # exception) and MinGW-w64's thread library.
  foreach(package gcc-mingw-w64-x86-64-posix-runtime mingw-w64-x86-64-dev)
    if(EXISTS /usr/share/doc/${package}/copyright)
      install(FILES /usr/share/doc/${package}/copyright DESTINATION licenses/MinGW
              RENAME ${package}.txt)
    else()
      message(WARNING "No /usr/share/doc/${package}/copyright: the package lacks that licence")
    endif()
  endforeach()

  # CPack strips the programs it builds but not libraries installed as files: MinGW's C++ runtime
  # alone is 26 MB with its symbols and 2 MB without.
  if(NOT CMAKE_STRIP)
    message(FATAL_ERROR "No strip program for the Windows libraries")
  endif()
  install(CODE "set(strip \"${CMAKE_STRIP}\")")
  install(CODE [[
    file(GLOB_RECURSE libraries "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/*.dll")
    foreach(library IN LISTS libraries)
      execute_process(COMMAND "${strip}" --strip-unneeded "${library}" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  ]])
endif()

# ---- Zip and installer -----------------------------------------------------------------------
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${TOLVANE_VENDOR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TOLVANE_SUMMARY})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${TOLVANE_DISPLAY_NAME})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The Start menu entry: tolvane.exe, named "Tolvane".
set(CPACK_PACKAGE_EXECUTABLES ${PROJECT_NAME} ${TOLVANE_DISPLAY_NAME})
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# A 64-bit installer for a 64-bit program (NSIS makes 32-bit ones unless told).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME ${TOLVANE_DISPLAY_NAME})
set(CPACK_NSIS_PACKAGE_NAME ${TOLVANE_DISPLAY_NAME})
set(CPACK_NSIS_MUI_ICON ${TOLVANE_WINDOWS_ICON})
set(CPACK_NSIS_MUI_UNIICON ${TOLVANE_WINDOWS_ICON})
# The entry under installed apps shows the program's own icon.
set(CPACK_NSIS_INSTALLED_ICON_NAME ${PROJECT_NAME}.exe)
set(CPACK_NSIS_URL_INFO_ABOUT ${TOLVANE_HOMEPAGE})
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)

# The packages' names and the version, for the scripts that test or collect them (one
# NAME=value a line, as a shell reads it).
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packages.env CONTENT [[
TOLVANE_VERSION=@PROJECT_VERSION@
TOLVANE_ZIP=@CPACK_PACKAGE_FILE_NAME@.zip
TOLVANE_INSTALLER=@CPACK_PACKAGE_FILE_NAME@.exe
]] @ONLY)
