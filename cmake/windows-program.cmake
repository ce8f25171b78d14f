# What Larkspur.exe carries as a Windows program, for any Windows toolchain:
# its icon, complete version information, an application manifest, and the
# PE header of a Windows 10 program. The icon is drawn from app/larkspur.svg
# and kept beside it, so that no drawing tool is needed to build; the test
# command checks that the two still agree.
set(larkspur_icon "${PROJECT_SOURCE_DIR}/app/larkspur.ico")

# The version is written once, in the project; Windows wants it as four numbers too.
include(${CMAKE_CURRENT_LIST_DIR}/four-part-version.cmake)
larkspur_four_part_version("${PROJECT_VERSION}" larkspur_file_version)
string(REPLACE "." "," larkspur_file_version_numbers "${larkspur_file_version}")

function(larkspur_windows_program target)
    set(manifest "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
    configure_file("${PROJECT_SOURCE_DIR}/app/larkspur.manifest.in" "${manifest}" @ONLY)
    if(MSVC)
        # The linker embeds it, merged with what it writes itself.
        target_sources(${target} PRIVATE "${manifest}")
        set(manifest_resource "")
    else()
        # As the resource that Windows reads a program's manifest from.
        set(manifest_resource "1 24 \"${manifest}\"")
        # Terminal-server aware, so that Remote Desktop hosts do not treat it
        # as a legacy program; subsystem 6.0, where the linker says 5.2 (XP).
        target_link_options(${target} PRIVATE -Wl,--tsaware
            -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)
    endif()
    set(resources "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
    configure_file("${PROJECT_SOURCE_DIR}/app/larkspur.rc.in" "${resources}" @ONLY)
    target_sources(${target} PRIVATE "${resources}")
    set_source_files_properties("${resources}" PROPERTIES
        OBJECT_DEPENDS "${larkspur_icon};${manifest}")
endfunction()
