# Run by cpack's External generator, after it has staged exactly the files
# that the installer and the zip hold: makes Larkspur-<version>-win64.msi
# from them with wixl, signed when the build was given a certificate.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
set(work "${CPACK_TOPLEVEL_DIRECTORY}/msi")
file(MAKE_DIRECTORY "${work}")

# One component per file, each with a GUID that follows from its path.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(TRANSFORM files PREPEND "${stage}/")
list(JOIN files "\n" file_list)
file(WRITE "${work}/files.txt" "${file_list}\n")
execute_process(COMMAND "${CPACK_LARKSPUR_WIXL_HEAT}" --prefix "${stage}/"
        --directory-ref INSTALLDIR --component-group DeployedFiles --var var.SourceDir --win64
    INPUT_FILE "${work}/files.txt" OUTPUT_FILE "${work}/files.wxs" COMMAND_ERROR_IS_FATAL ANY)

# The product code is new with each version and fixed for one: derived from
# both, so that a deployment rule can name it before the MSI is built.
string(UUID product_code NAMESPACE "${CPACK_LARKSPUR_UPGRADE_CODE}"
    NAME "${CPACK_PACKAGE_VERSION}" TYPE SHA1 UPPER)
set(msi "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")
# wixl finds files by paths relative to the folder it runs in only.
file(COPY_FILE "${CPACK_NSIS_MUI_ICON}" "${work}/larkspur.ico")
file(RELATIVE_PATH relative_stage "${work}" "${stage}")
execute_process(COMMAND "${CPACK_LARKSPUR_WIXL}" --arch x64 --output "${msi}"
        -D "SourceDir=${relative_stage}" -D Win64=yes -D "Version=${CPACK_PACKAGE_VERSION}"
        -D "ProductCode=${product_code}" -D "UpgradeCode=${CPACK_LARKSPUR_UPGRADE_CODE}"
        -D "Publisher=${CPACK_PACKAGE_VENDOR}" -D "Description=${CPACK_LARKSPUR_DESCRIPTION}"
        -D "Copyright=${CPACK_LARKSPUR_COPYRIGHT}" -D Icon=larkspur.ico
        "${CPACK_LARKSPUR_WXS}" "${work}/files.wxs"
    WORKING_DIRECTORY "${work}" COMMAND_ERROR_IS_FATAL ANY)
if(CPACK_LARKSPUR_SIGN_SCRIPT)
    execute_process(COMMAND "${CMAKE_COMMAND}" "-DFILE=${msi}" -P "${CPACK_LARKSPUR_SIGN_SCRIPT}"
        COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}")
