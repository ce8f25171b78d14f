# The Windows packages, all three made by `cpack` in the Windows build
# folder: the installer Larkspur-<version>-win64.exe (NSIS, from
# packaging/NSIS.template.in), the MSI Larkspur-<version>-win64.msi (wixl,
# from packaging/larkspur.wxs) and the portable zip. All three hold
# Larkspur.exe and exactly what cmake/windows-runtime.cmake deploys beside
# it, signed when the build is given a certificate.

# Larkspur's own terms, from the copyright file: the installer's licence
# page, and the first of the notices beside the program.
file(READ "${CMAKE_CURRENT_LIST_DIR}/copyright" copyright)
if(NOT copyright MATCHES "\nLicense: [^\n]*\n(( [^\n]*\n?)+)")
    message(FATAL_ERROR "packaging/copyright has no licence text")
endif()
string(REGEX REPLACE "(^|\n) \\.?" "\\1" terms "${CMAKE_MATCH_1}")
set(larkspur_terms "${CMAKE_BINARY_DIR}/Larkspur.txt")
file(CONFIGURE OUTPUT "${larkspur_terms}" CONTENT "Larkspur ${PROJECT_VERSION}
${larkspur_copyright}

${terms}
Larkspur comes with libraries of others, each under its own licence: see
README.txt in the licenses folder beside Larkspur.exe.
")
install(FILES "${larkspur_terms}" DESTINATION licenses)

# Signing: with a code-signing certificate in a PKCS#12 file, every program
# and DLL that the packages hold, the installer, its uninstaller and the MSI
# are signed.
set(LARKSPUR_SIGNING_P12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing certificate and its key; empty: nothing is signed")
set(LARKSPUR_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "File that holds the PKCS#12 file's password")
set(LARKSPUR_SIGNING_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping service, so that signatures stay valid after the certificate expires")
set(sign_script "")
if(LARKSPUR_SIGNING_P12)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    if(NOT LARKSPUR_SIGNING_PASSWORD_FILE)
        message(FATAL_ERROR "LARKSPUR_SIGNING_P12 needs LARKSPUR_SIGNING_PASSWORD_FILE")
    endif()
    set(sign_script "${CMAKE_BINARY_DIR}/sign.cmake")
    configure_file("${CMAKE_CURRENT_LIST_DIR}/sign.cmake.in" "${sign_script}" @ONLY)
    set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/sign-staged.cmake")
    set(nsis_signing "!finalize '\"${CMAKE_COMMAND}\" \"-DFILE=%1\" -P \"${sign_script}\"' = 0
!uninstfinalize '\"${CMAKE_COMMAND}\" \"-DFILE=%1\" -P \"${sign_script}\"' = 0")
else()
    message(NOTICE "Windows packages will not be signed: no LARKSPUR_SIGNING_P12 given")
    set(nsis_signing "")
endif()

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Larkspur)
set(CPACK_PACKAGE_VENDOR "${LARKSPUR_PUBLISHER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${larkspur_description}")
set(CPACK_PACKAGE_FILE_NAME "Larkspur-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Larkspur)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Larkspur)
set(CPACK_RESOURCE_FILE_LICENSE "${larkspur_terms}")
set(CPACK_STRIP_FILES ON)
# What the three packages' own scripts read besides CPack's variables; the
# version-dependent ones follow the version that cpack is given (-D
# CPACK_PACKAGE_VERSION=...), in packaging/cpack-options.cmake.
set(CPACK_LARKSPUR_DESCRIPTION "${larkspur_description}")
set(CPACK_LARKSPUR_COPYRIGHT "${larkspur_copyright}")
set(CPACK_LARKSPUR_WINDOW_TITLE "Pelmora - Set/Change Path to Database")
set(CPACK_LARKSPUR_SIGN_SCRIPT "${sign_script}")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake")
set(CPACK_GENERATOR NSIS ZIP)

# NSIS: a 64-bit installer (Debian's Wine runs no 32-bit programs, and no
# station needs one) from a template of the project's own.
list(PREPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")
set(CPACK_NSIS_PACKAGE_NAME Larkspur)
set(CPACK_NSIS_DISPLAY_NAME Larkspur)
set(CPACK_NSIS_MUI_ICON "${larkspur_icon}")
set(CPACK_NSIS_MUI_UNIICON "${larkspur_icon}")
set(CPACK_LARKSPUR_NSIS_SIGNING "${nsis_signing}")

# The MSI, where wixl is at hand: cpack's External generator stages the same
# files and hands them to packaging/msi.cmake.
find_program(WIXL wixl)
find_program(WIXL_HEAT wixl-heat)
if(WIXL AND WIXL_HEAT)
    list(APPEND CPACK_GENERATOR External)
    set(CPACK_EXTERNAL_ENABLE_STAGING ON)
    set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/msi.cmake")
    set(CPACK_LARKSPUR_WIXL "${WIXL}")
    set(CPACK_LARKSPUR_WIXL_HEAT "${WIXL_HEAT}")
    set(CPACK_LARKSPUR_WXS "${CMAKE_CURRENT_LIST_DIR}/larkspur.wxs")
    # Every version's; Windows Installer knows Larkspur by it.
    set(CPACK_LARKSPUR_UPGRADE_CODE "89A41A27-D6E9-4F0C-96BB-12B13855A6C2")
else()
    message(NOTICE "No MSI: wixl and wixl-heat (Debian's package wixl) are needed for it")
endif()

set(CPACK_ZIP_COMPONENT_INSTALL OFF)
include(CPack)
