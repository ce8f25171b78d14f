# The Windows packages, all three made by `cpack` in the Windows build
# folder: the installer Larkspur-<version>-win64.exe (NSIS, from
# packaging/NSIS.template.in), the MSI Larkspur-<version>-win64.msi (wixl,
# from packaging/larkspur.wxs) and the portable zip. All three hold
# Larkspur.exe and exactly what cmake/windows-runtime.cmake deploys beside
# it, signed when the build is given a certificate. Two builds of one commit
# give the same packages, byte for byte, but for the signatures
# (scripts/verify-release.sh shows that a signed release is its commit's).

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

# Signing. Every file the packages sign (Larkspur.exe, the DLLs and plugins,
# the installer and the uninstaller it writes, the MSI) is signed in place by
# one sign command, run with the file as its last argument: a vendor's own
# program for a key on a token, an HSM or a signing service, or, for test
# builds, a certificate in a PKCS#12 file.
set(LARKSPUR_SIGN_TOOL "" CACHE STRING
    "Program run as `<program> <file>` to sign that file in place; empty: see LARKSPUR_SIGNING_P12")
set(LARKSPUR_SIGNING_P12 "" CACHE FILEPATH
    "For test builds: PKCS#12 file with a code-signing certificate and its key")
set(LARKSPUR_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "File that holds the PKCS#12 file's password")
set(LARKSPUR_SIGNING_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping service for every signature, or none (test builds only)")
set(sign_command "")
if(LARKSPUR_SIGN_TOOL AND LARKSPUR_SIGNING_P12)
    message(FATAL_ERROR "Give LARKSPUR_SIGN_TOOL or LARKSPUR_SIGNING_P12, not both")
elseif(LARKSPUR_SIGN_TOOL)
    set(sign_command "${LARKSPUR_SIGN_TOOL}")
elseif(LARKSPUR_SIGNING_P12)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    if(NOT LARKSPUR_SIGNING_PASSWORD_FILE)
        message(FATAL_ERROR "LARKSPUR_SIGNING_P12 needs LARKSPUR_SIGNING_PASSWORD_FILE")
    endif()
    set(sign_command "${CMAKE_COMMAND}" "-DP12=${LARKSPUR_SIGNING_P12}"
        "-DPASSWORD_FILE=${LARKSPUR_SIGNING_PASSWORD_FILE}" "-DOSSLSIGNCODE=${OSSLSIGNCODE}"
        -P "${CMAKE_CURRENT_LIST_DIR}/sign-with-p12.cmake")
endif()
set(sign_script "")
if(sign_command)
    # A signature without a time stamp dies with its certificate.
    if(NOT LARKSPUR_SIGNING_TIMESTAMP_URL)
        message(FATAL_ERROR "Signing needs LARKSPUR_SIGNING_TIMESTAMP_URL, the certificate "
            "authority's RFC 3161 time-stamping service: a signature without a time stamp "
            "stops being valid when the certificate expires. Give \"none\" for a test build.")
    endif()
    list(TRANSFORM sign_command REPLACE "^(.+)$" "[==[\\1]==]")
    list(JOIN sign_command " " sign_command)
    set(sign_script "${CMAKE_BINARY_DIR}/sign.cmake")
    configure_file("${CMAKE_CURRENT_LIST_DIR}/sign.cmake.in" "${sign_script}" @ONLY)
    set(nsis_signing "!finalize '\"${CMAKE_COMMAND}\" \"-DFILE=%1\" -P \"${sign_script}\"' = 0
!uninstfinalize '\"${CMAKE_COMMAND}\" \"-DFILE=%1\" -P \"${sign_script}\"' = 0")
else()
    message(NOTICE "Windows packages will not be signed: no LARKSPUR_SIGN_TOOL or LARKSPUR_SIGNING_P12 given")
    set(nsis_signing "")
endif()

# Qt looks for its plugins in the folder above its DLLs' unless told
# otherwise: a portable copy unpacked to C:\Tools\Larkspur would load code
# from C:\Tools\plugins, a folder any user may make. Here, it is told.
install(FILES "${CMAKE_CURRENT_LIST_DIR}/qt.conf" DESTINATION .)

# The packages' files, staged, stripped and signed once per build, so that
# the zip, the installer and the MSI hold the very same bytes, and a hash
# rule or a signing service counts one Larkspur.exe.
set(larkspur_stage "${CMAKE_BINARY_DIR}/package-stage")
set(stage_signing "")
if(sign_script)
    set(stage_signing COMMAND "${CMAKE_COMMAND}" "-DFOLDER=${larkspur_stage}" -P "${sign_script}")
endif()
file(GLOB notices "${LARKSPUR_NOTICES}/*")
set(staged_targets Larkspur)
if(TARGET Larkspur_imports) # the deployed runtime, checked
    list(APPEND staged_targets Larkspur_imports)
endif()
add_custom_command(OUTPUT "${larkspur_stage}.stamp"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${larkspur_stage}"
    # strip writes the time it runs into each program's header, unless told
    # the commit's.
    COMMAND "${CMAKE_COMMAND}" -E env "SOURCE_DATE_EPOCH=${larkspur_source_date_epoch}"
        "${CMAKE_COMMAND}" --install "${CMAKE_BINARY_DIR}" --prefix "${larkspur_stage}"
        --config $<CONFIG> --strip
    ${stage_signing}
    COMMAND "${CMAKE_COMMAND}" -E touch "${larkspur_stage}.stamp"
    DEPENDS ${staged_targets} ${notices} "${larkspur_terms}"
        "${CMAKE_CURRENT_LIST_DIR}/qt.conf" ${sign_script}
    COMMENT "Staging the files of the Windows packages" VERBATIM)
add_custom_target(package_stage ALL DEPENDS "${larkspur_stage}.stamp")

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Larkspur)
set(CPACK_PACKAGE_VENDOR "${LARKSPUR_PUBLISHER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${larkspur_description}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Larkspur)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Larkspur)
set(CPACK_RESOURCE_FILE_LICENSE "${larkspur_terms}")
# Packed as staged: no package strips or signs a copy of its own.
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALLED_DIRECTORIES "${larkspur_stage};.")
set(CPACK_PACKAGE_CHECKSUM SHA256)
# What the three packages' own scripts read besides CPack's variables; the
# version-dependent ones follow the version that cpack is given (-D
# CPACK_PACKAGE_VERSION=...), in packaging/cpack-options.cmake.
set(CPACK_LARKSPUR_DESCRIPTION "${larkspur_description}")
set(CPACK_LARKSPUR_COPYRIGHT "${larkspur_copyright}")
set(CPACK_LARKSPUR_WINDOW_TITLE "${larkspur_window_title}")
set(CPACK_LARKSPUR_SIGN_SCRIPT "${sign_script}")
set(CPACK_LARKSPUR_SOURCE_DATE_EPOCH "${larkspur_source_date_epoch}")
# Where the list of installed programs sends a user for help; none by default.
set(LARKSPUR_SUPPORT_URL "" CACHE STRING "Support address shown in the list of installed programs")
set(CPACK_LARKSPUR_SUPPORT_URL "${LARKSPUR_SUPPORT_URL}")
# Every version's; Windows Installer knows Larkspur by it, and the installer
# finds an MSI's Larkspur by it.
set(CPACK_LARKSPUR_UPGRADE_CODE "89A41A27-D6E9-4F0C-96BB-12B13855A6C2")
# The package names and the four-part version follow the version cpack makes.
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake")
set(CPACK_LARKSPUR_CMAKE_FOLDER "${PROJECT_SOURCE_DIR}/cmake")
set(CPACK_GENERATOR NSIS ZIP)

# NSIS: a 64-bit installer (Debian's Wine runs no 32-bit programs, and no
# station needs one) from a template of the project's own.
list(PREPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")
set(CPACK_NSIS_PACKAGE_NAME Larkspur)
set(CPACK_NSIS_DISPLAY_NAME Larkspur)
set(CPACK_NSIS_MUI_ICON "${larkspur_icon}")
set(CPACK_NSIS_MUI_UNIICON "${larkspur_icon}")
set(CPACK_LARKSPUR_NSIS_SIGNING "${nsis_signing}")

# The MSI and the zip, where wixl and Python with libmsi's bindings are at
# hand: cpack's External generator stages the same files and hands them to
# packaging/msi-and-zip.cmake. Elsewhere (Qt's kits on Windows), no MSI, and
# CPack's own zip.
find_program(WIXL wixl)
find_program(WIXL_HEAT wixl-heat)
# Debian's, which has the bindings, before any other on the PATH.
find_program(LARKSPUR_PYTHON python3 HINTS /usr/bin)
if(WIXL AND WIXL_HEAT AND LARKSPUR_PYTHON)
    list(APPEND CPACK_GENERATOR External)
    list(REMOVE_ITEM CPACK_GENERATOR ZIP)
    set(CPACK_EXTERNAL_ENABLE_STAGING ON)
    set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/msi-and-zip.cmake")
    set(CPACK_LARKSPUR_WIXL "${WIXL}")
    set(CPACK_LARKSPUR_WIXL_HEAT "${WIXL_HEAT}")
    set(CPACK_LARKSPUR_WXS "${CMAKE_CURRENT_LIST_DIR}/larkspur.wxs")
    set(CPACK_LARKSPUR_PYTHON "${LARKSPUR_PYTHON}")
    set(CPACK_LARKSPUR_ARCHIVES "${CMAKE_CURRENT_LIST_DIR}/windows-archives.py")
    find_program(MSIBUILD msibuild REQUIRED)
    set(CPACK_LARKSPUR_MSIBUILD "${MSIBUILD}")
else()
    message(NOTICE "No MSI: wixl and wixl-heat (Debian's package wixl) and python3 are needed for it")
endif()

set(CPACK_ZIP_COMPONENT_INSTALL OFF)
include(CPack)
