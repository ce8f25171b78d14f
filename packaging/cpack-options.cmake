# Read by cpack for each package: what follows from the version it makes,
# so that `cpack -D CPACK_PACKAGE_VERSION=0.99` makes older packages of the
# same files, as the upgrade tests do. The time every package carries.
include("${CMAKE_CURRENT_LIST_DIR}/cpack-reproducible.cmake")
include("${CPACK_LARKSPUR_CMAKE_FOLDER}/four-part-version.cmake")
larkspur_four_part_version("${CPACK_PACKAGE_VERSION}" CPACK_LARKSPUR_FILE_VERSION)
set(CPACK_PACKAGE_FILE_NAME "Larkspur-${CPACK_PACKAGE_VERSION}-win64")

# What the installer unpacks and the uninstaller deletes, in the order of
# the files' names. CPack's lists, and NSIS's `File /r`, follow the order in
# which the file system lists a folder, and the installer's bytes would too.
list(GET CPACK_INSTALLED_DIRECTORIES 0 stage)
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/*")
set(CPACK_LARKSPUR_NSIS_FILES "")
set(CPACK_LARKSPUR_NSIS_DELETE "")
set(folders "")
set(out_path "none yet")
foreach(file IN LISTS files)
    get_filename_component(folder "${file}" DIRECTORY)
    string(REPLACE "/" "\\" windows_file "${file}")
    string(REPLACE "/" "\\" windows_folder "\\${folder}")
    if(NOT folder STREQUAL out_path)
        set(out_path "${folder}")
        string(REGEX REPLACE "\\\\$" "" windows_folder "${windows_folder}")
        string(APPEND CPACK_LARKSPUR_NSIS_FILES "    SetOutPath \"$INSTDIR${windows_folder}\"\n")
        while(NOT folder STREQUAL "") # and each folder it is in
            list(APPEND folders "${folder}")
            get_filename_component(folder "${folder}" DIRECTORY)
        endwhile()
    endif()
    string(APPEND CPACK_LARKSPUR_NSIS_FILES "    File \"\${INST_DIR}\\${windows_file}\"\n")
    string(APPEND CPACK_LARKSPUR_NSIS_DELETE "    Delete \"$INSTDIR\\${windows_file}\"\n")
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders) # a folder's folders before it
foreach(folder IN LISTS folders)
    string(REPLACE "/" "\\" folder "${folder}")
    string(APPEND CPACK_LARKSPUR_NSIS_DELETE "    RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
