# Run by cpack before and after it makes the Debian package. Before: the
# folders that cpack and the install create have the permissions that the
# umask of whoever packs leaves, and the package would carry them; they get
# 0755, as dpkg-deb's. After: packaging/deb-finish.py gives the package's
# members fixed modes and its Installed-Size a count that no file system
# changes.
if(NOT DEFINED CPACK_PACKAGE_FILES)
    file(CHMOD_RECURSE "${CPACK_TEMPORARY_DIRECTORY}" DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    execute_process(COMMAND "${CPACK_LARKSPUR_PYTHON}" "${CPACK_LARKSPUR_DEB_FINISH}" "${package}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
