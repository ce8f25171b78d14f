# What Larkspur.exe needs beside it on Windows, listed once: Qt's DLLs, the
# plugins for the windows platform and its native style, the compiler's
# runtime, and the licences and notices of what is shipped. The installers
# and the zip deploy exactly these; where the build has an objdump, it also
# fails when Larkspur.exe needs a DLL that is not among them.
set(larkspur_qt_dlls Qt6::Core Qt6::Gui Qt6::Widgets)
set(larkspur_qt_plugins
    platforms Qt6::QWindowsIntegrationPlugin
    styles Qt6::QWindowsVistaStylePlugin)

# The compiler's runtime DLLs. MinGW-w64's come from the compiler, stripped of
# their debugging symbols (24 MB for libstdc++ alone in Debian's); an MSVC
# build deploys those of Microsoft's runtime that are imported (below).
set(larkspur_runtime_dlls "")
if(MINGW)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
            OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        get_filename_component(dll_path "${dll_path}" REALPATH)
        list(APPEND larkspur_runtime_dlls "${dll_path}")
    endforeach()
endif()

# The licences and notices of the Qt and the runtime shipped. packaging/notices
# holds the licences and Qt's notice of the Qt 6.4.2 that scripts/windows-qt.sh
# builds; scripts/windows.sh adds the notices of the MinGW-w64 runtime it
# deploys, taken from the packages of the machine that builds, and names that
# folder here. A build against another Qt, or with MSVC, names a folder with
# that Qt's and runtime's own.
set(LARKSPUR_NOTICES "${PROJECT_SOURCE_DIR}/packaging/notices" CACHE PATH
    "Folder with the licences and notices of the Qt and the runtime that are deployed")

# Where the DLLs lie, for running programs from the build folder.
set(larkspur_runtime_folders "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
foreach(dll_path IN LISTS larkspur_runtime_dlls)
    get_filename_component(folder "${dll_path}" DIRECTORY)
    list(APPEND larkspur_runtime_folders "${folder}")
endforeach()
list(REMOVE_DUPLICATES larkspur_runtime_folders)

# What reads a program's imports: MinGW's objdump, or dumpbin beside MSVC's
# linker. A build that has neither says so and stops, unless told not to check.
option(LARKSPUR_CHECK_IMPORTS "Check the program's imports against the DLLs deployed" ON)
if(LARKSPUR_CHECK_IMPORTS)
    if(MSVC)
        get_filename_component(linker_folder "${CMAKE_LINKER}" DIRECTORY)
        find_program(LARKSPUR_DUMPBIN dumpbin HINTS "${linker_folder}")
        set(larkspur_import_reader "${LARKSPUR_DUMPBIN}|/nologo|/dependents")
    elseif(CMAKE_OBJDUMP)
        set(larkspur_import_reader "${CMAKE_OBJDUMP}|-p")
    endif()
    if(NOT larkspur_import_reader OR larkspur_import_reader MATCHES "NOTFOUND")
        message(FATAL_ERROR "No objdump or dumpbin to check the program's imports with: "
            "give one (CMAKE_OBJDUMP, LARKSPUR_DUMPBIN) or -DLARKSPUR_CHECK_IMPORTS=OFF")
    endif()
endif()

# Deploys them beside the program, and checks the program's imports against them.
function(larkspur_deploy_windows_runtime program)
    set(deployed "")
    foreach(dll IN LISTS larkspur_qt_dlls)
        install(IMPORTED_RUNTIME_ARTIFACTS ${dll} RUNTIME DESTINATION . LIBRARY DESTINATION .)
        list(APPEND deployed "$<TARGET_FILE:${dll}>")
    endforeach()
    set(roots "$<TARGET_FILE:${program}>")
    set(plugins ${larkspur_qt_plugins})
    while(plugins)
        list(POP_FRONT plugins folder plugin)
        install(FILES "$<TARGET_FILE:${plugin}>" DESTINATION ${folder})
        list(APPEND roots "$<TARGET_FILE:${plugin}>")
    endwhile()
    foreach(dll_path IN LISTS larkspur_runtime_dlls)
        get_filename_component(name "${dll_path}" NAME)
        set(stripped "${CMAKE_BINARY_DIR}/mingw-runtime/${name}")
        add_custom_command(OUTPUT "${stripped}"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/mingw-runtime"
            COMMAND ${CMAKE_COMMAND} -E env "SOURCE_DATE_EPOCH=${larkspur_source_date_epoch}"
                ${CMAKE_STRIP} --strip-unneeded -o "${stripped}" "${dll_path}"
            DEPENDS "${dll_path}" VERBATIM)
        install(FILES "${stripped}" DESTINATION .)
        list(APPEND deployed "${stripped}")
    endforeach()
    # Of Microsoft's runtime, CMake lists every DLL (concrt140.dll,
    # msvcp140_2.dll and the like too): only those that the program, its
    # plugins and its Qt import are deployed, as the import check finds them.
    set(candidates "")
    set(picked "${CMAKE_CURRENT_BINARY_DIR}/${program}-runtime.txt")
    if(MSVC)
        set(CMAKE_INSTALL_SYSTEM_RUNTIME_LIBS_SKIP TRUE)
        include(InstallRequiredSystemLibraries)
        set(candidates ${CMAKE_INSTALL_SYSTEM_RUNTIME_LIBS})
    endif()
    if(MSVC AND NOT LARKSPUR_CHECK_IMPORTS)
        install(PROGRAMS ${candidates} DESTINATION .)
    elseif(MSVC)
        install(CODE "file(STRINGS \"${picked}\" dlls)
            if(dlls)
                file(INSTALL \${dlls} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
            endif()")
    endif()
    install(DIRECTORY "${LARKSPUR_NOTICES}/" DESTINATION licenses)

    if(NOT LARKSPUR_CHECK_IMPORTS)
        message(STATUS "Not checking ${program}'s imports against the deployed DLLs: LARKSPUR_CHECK_IMPORTS is off")
        return()
    endif()
    set(deployed_files ${deployed})
    string(JOIN "|" roots ${roots}) # lists cross into the script with another separator
    string(JOIN "|" deployed ${deployed})
    string(JOIN "|" candidates ${candidates})
    set(check "${CMAKE_CURRENT_BINARY_DIR}/${program}-imports.checked")
    add_custom_command(OUTPUT "${check}" "${picked}"
        COMMAND ${CMAKE_COMMAND} "-DREADER=${larkspur_import_reader}" "-DROOTS=${roots}"
            "-DDEPLOYED=${deployed}" "-DCANDIDATES=${candidates}" "-DPICKED=${picked}"
            -P "${PROJECT_SOURCE_DIR}/cmake/check-windows-imports.cmake"
        COMMAND ${CMAKE_COMMAND} -E touch "${check}"
        DEPENDS ${program} "${PROJECT_SOURCE_DIR}/cmake/check-windows-imports.cmake"
            ${deployed_files}
        COMMENT "Checking that ${program} finds every DLL it needs among those deployed"
        VERBATIM)
    add_custom_target(${program}_imports ALL DEPENDS "${check}")
endfunction()
