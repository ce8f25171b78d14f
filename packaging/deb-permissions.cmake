# Run by cpack before and after it makes the Debian package: the folders
# and files that cpack itself creates have the permissions that the umask
# of whoever packs leaves, and the package would carry them. Staged
# folders get 0755, the package's members 0644, as dpkg-deb gives them.
if(NOT DEFINED CPACK_PACKAGE_FILES)
    file(CHMOD_RECURSE "${CPACK_TEMPORARY_DIRECTORY}" DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    return()
endif()
# The mode of each member, in its ar header: 60 bytes of text, the mode
# 8 octal digits and blanks at 40, the size 10 decimal digits at 48.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    file(SIZE "${package}" end)
    set(at 8) # past "!<arch>\n"
    while(at LESS end)
        file(READ "${package}" header OFFSET ${at} LIMIT 60)
        string(SUBSTRING "${header}" 48 10 size)
        string(STRIP "${size}" size)
        math(EXPR mode_at "${at} + 40")
        execute_process(COMMAND printf %s "100644  "
            COMMAND dd "of=${package}" bs=1 seek=${mode_at} conv=notrunc status=none
            COMMAND_ERROR_IS_FATAL ANY)
        math(EXPR at "${at} + 60 + ${size} + ${size} % 2")
    endwhile()
endforeach()
