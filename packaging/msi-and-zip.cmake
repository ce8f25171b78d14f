# Run by cpack's External generator, after it has staged exactly the files
# that the installer holds: makes Larkspur-<version>-win64.msi from them
# with wixl, finishes what wixl cannot write with msibuild, and signs it when
# the build was given signing; and makes the portable zip of the same files.
# Both are the same bytes whenever the same files are packed: nothing in
# them comes from chance, the clock, the packer or the file system's order.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
set(work "${CPACK_TOPLEVEL_DIRECTORY}/msi")
file(MAKE_DIRECTORY "${work}")
set(epoch "${CPACK_LARKSPUR_SOURCE_DATE_EPOCH}")

# Sorted by name; each of the commit's time, which the MSI's cabinet keeps.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
list(TRANSFORM files PREPEND "${stage}/")
execute_process(COMMAND touch -d "@${epoch}" ${files} COMMAND_ERROR_IS_FATAL ANY)

set(zip "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip")
execute_process(COMMAND "${CPACK_LARKSPUR_PYTHON}" "${CPACK_LARKSPUR_ARCHIVES}" zip "${stage}"
        "${CPACK_PACKAGE_FILE_NAME}" "${zip}" "${epoch}"
    COMMAND_ERROR_IS_FATAL ANY)

# One component per file, each with a GUID that follows from its path; a
# folder's Id, which wixl-heat draws at random, follows from its first file.
list(JOIN files "\n" file_list)
file(WRITE "${work}/files.txt" "${file_list}\n")
execute_process(COMMAND "${CPACK_LARKSPUR_WIXL_HEAT}" --prefix "${stage}/"
        --directory-ref INSTALLDIR --component-group DeployedFiles --var var.SourceDir --win64
    INPUT_FILE "${work}/files.txt" OUTPUT_VARIABLE heat COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "<Directory Id=\"dir[0-9A-F]+\"[^<]*<Component[^<]*<File [^>]*Source=\"[^\"]*\""
    folders "${heat}")
foreach(folder IN LISTS folders)
    string(REGEX MATCH "Id=\"(dir[0-9A-F]+)\".*Source=\"([^\"]*)\"" _ "${folder}")
    set(drawn "${CMAKE_MATCH_1}")
    string(MD5 id "${CMAKE_MATCH_2}")
    string(TOUPPER "${id}" id)
    string(REPLACE "\"${drawn}\"" "\"dir${id}\"" heat "${heat}")
endforeach()
# Not the comment, which names the staging folder.
string(REGEX REPLACE "<!-- [^>]*wixl-heat [^>]*-->" "" heat "${heat}")
file(WRITE "${work}/files.wxs" "${heat}")

# What wixl is given besides the files and the product code.
set(defines Version=${CPACK_PACKAGE_VERSION} UpgradeCode=${CPACK_LARKSPUR_UPGRADE_CODE}
    Publisher=${CPACK_PACKAGE_VENDOR} Description=${CPACK_LARKSPUR_DESCRIPTION}
    Copyright=${CPACK_LARKSPUR_COPYRIGHT} Icon=larkspur.ico Win64=yes)
execute_process(COMMAND "${CPACK_LARKSPUR_WIXL}" --version OUTPUT_VARIABLE wixl_version
    COMMAND_ERROR_IS_FATAL ANY)
# The product code and the package code follow from what is packed and
# how: the same files of the same version, packed by the same scripts and
# the same wixl, are the same package, which Windows knows by its package
# code. A package of
# the same version with other files (rebuilt from another commit, or signed
# again) is another product, which installs over the first as a major
# upgrade; Windows refuses a second package of one product code with 1638.
set(packed "${defines}\n${CPACK_LARKSPUR_SUPPORT_URL}\n${wixl_version}")
foreach(file IN ITEMS "${CPACK_LARKSPUR_WXS}" "${CMAKE_CURRENT_LIST_FILE}" "${CPACK_NSIS_MUI_ICON}"
        "${CPACK_LARKSPUR_ARCHIVES}" "${work}/files.wxs" ${files})
    file(SHA256 "${file}" hash)
    file(RELATIVE_PATH name "${stage}" "${file}")
    if(name MATCHES "^\\.\\.")
        get_filename_component(name "${file}" NAME)
    endif()
    string(APPEND packed "${hash} ${name}\n")
endforeach()
file(WRITE "${work}/packed.txt" "${packed}") # what the codes follow from
string(SHA256 packed "${packed}")
string(UUID product_code NAMESPACE "${CPACK_LARKSPUR_UPGRADE_CODE}" NAME "product ${packed}"
    TYPE SHA1 UPPER)
string(UUID package_code NAMESPACE "${CPACK_LARKSPUR_UPGRADE_CODE}" NAME "package ${packed}"
    TYPE SHA1 UPPER)
set(msi "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi")
# wixl finds files by paths relative to the folder it runs in only.
file(COPY_FILE "${CPACK_NSIS_MUI_ICON}" "${work}/larkspur.ico")
file(RELATIVE_PATH relative_stage "${work}" "${stage}")
list(TRANSFORM defines PREPEND "-D;")
execute_process(COMMAND "${CPACK_LARKSPUR_WIXL}" --arch x64 --output "${msi}" ${defines}
        -D "SourceDir=${relative_stage}" -D "ProductCode=${product_code}"
        "${CPACK_LARKSPUR_WXS}" "${work}/files.wxs"
    WORKING_DIRECTORY "${work}" COMMAND_ERROR_IS_FATAL ANY)

# What wixl leaves out, put in with SQL.
set(queries
    # A same version replaces the installed one too: a re-spin is a major upgrade.
    "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
    "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('{${CPACK_LARKSPUR_UPGRADE_CODE}}', '${CPACK_PACKAGE_VERSION}', 513, 'WIX_UPGRADE_DETECTED')"
    # The old version goes inside the installation's transaction, so that a
    # failed upgrade rolls back to it.
    "UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'")
# Versioned files, as Windows Installer's rules for replacing files know them.
foreach(file IN LISTS files)
    if(NOT file MATCHES "\\.(exe|dll)$")
        continue()
    endif()
    # The fixed part of the version resource follows its signature, 0xFEEF04BD.
    file(READ "${file}" bytes HEX)
    string(FIND "${bytes}" "bd04effe" at)
    if(at EQUAL -1)
        continue()
    endif()
    string(SUBSTRING "${bytes}" ${at} 40 fixed)
    set(version "")
    foreach(word 22 18 30 26) # major, minor, build, revision: 16-bit words, little-endian
        string(SUBSTRING "${fixed}" ${word} 2 high)
        math(EXPR word "${word} - 2")
        string(SUBSTRING "${fixed}" ${word} 2 low)
        math(EXPR number "0x${high}${low}")
        list(APPEND version ${number})
    endforeach()
    list(JOIN version "." version)
    get_filename_component(name "${file}" NAME)
    list(APPEND queries "UPDATE `File` SET `Version` = '${version}' WHERE `FileName` = '${name}'")
endforeach()
if(CPACK_LARKSPUR_SUPPORT_URL)
    foreach(property ARPHELPLINK ARPURLINFOABOUT)
        list(APPEND queries "INSERT INTO `Property` (`Property`, `Value`) VALUES ('${property}', '${CPACK_LARKSPUR_SUPPORT_URL}')")
    endforeach()
endif()
foreach(query IN LISTS queries)
    execute_process(COMMAND "${CPACK_LARKSPUR_MSIBUILD}" "${msi}" -q "${query}"
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "msibuild could not run: ${query}")
    endif()
endforeach()

# The package code, and the commit's time for its creation and last saving.
execute_process(COMMAND "${CPACK_LARKSPUR_PYTHON}" "${CPACK_LARKSPUR_ARCHIVES}" msi-summary "${msi}"
        "${epoch}" "{${package_code}}"
    COMMAND_ERROR_IS_FATAL ANY)

if(CPACK_LARKSPUR_SIGN_SCRIPT)
    execute_process(COMMAND "${CMAKE_COMMAND}" "-DFILE=${msi}" -P "${CPACK_LARKSPUR_SIGN_SCRIPT}"
        COMMAND_ERROR_IS_FATAL ANY)
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${msi}" "${zip}")
