# The Windows installer and the portable zip: `cpack -G NSIS` and
# `cpack -G ZIP` in the Windows build folder. Both hold Larkspur.exe and
# exactly what cmake/windows-runtime.cmake deploys beside it.
set(CPACK_PACKAGE_NAME Larkspur)
set(CPACK_PACKAGE_VENDOR "Larkspur")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Sets the database folder and the available programs of a Pelmora station")
set(CPACK_PACKAGE_FILE_NAME "Larkspur-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Larkspur)
# The key of the system's list of installed programs, and of the Start menu's folder.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Larkspur)
set(CPACK_PACKAGE_EXECUTABLES Larkspur Larkspur)
set(CPACK_STRIP_FILES ON)

# A 64-bit installer: Debian's Wine runs no 32-bit programs, and no station
# needs one. The target goes before any page, section or string of the script.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Larkspur)
set(CPACK_NSIS_DISPLAY_NAME Larkspur)
set(CPACK_NSIS_MUI_ICON "${larkspur_icon}")
set(CPACK_NSIS_MUI_UNIICON "${larkspur_icon}")
set(CPACK_NSIS_INSTALLED_ICON_NAME Larkspur.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# CPack's uninstaller leaves the vendor's key behind, empty; here it is Larkspur's own.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "DeleteRegKey SHCTX 'Software\\${CPACK_PACKAGE_VENDOR}'")

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_ZIP_COMPONENT_INSTALL OFF)
include(CPack)
