# What Larkspur.exe needs beside it on Windows, listed once: Qt's DLLs, the
# plugins for the windows platform and its native style, and MinGW-w64's
# runtime. The installer and the zip deploy exactly these, and the build
# fails when Larkspur.exe needs a DLL that is not among them.
set(larkspur_qt_dlls Qt6::Core Qt6::Gui Qt6::Widgets)
set(larkspur_qt_plugins
    platforms Qt6::QWindowsIntegrationPlugin
    styles Qt6::QWindowsVistaStylePlugin)
set(larkspur_mingw_dlls libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)

set(larkspur_mingw_dll_paths "")
foreach(dll IN LISTS larkspur_mingw_dlls)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    get_filename_component(dll_path "${dll_path}" REALPATH)
    list(APPEND larkspur_mingw_dll_paths "${dll_path}")
endforeach()

# Where the DLLs lie, for running programs from the build folder.
set(larkspur_runtime_folders "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
foreach(dll_path IN LISTS larkspur_mingw_dll_paths)
    get_filename_component(folder "${dll_path}" DIRECTORY)
    list(APPEND larkspur_runtime_folders "${folder}")
endforeach()
list(REMOVE_DUPLICATES larkspur_runtime_folders)

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
    # Debian's runtime DLLs carry their debugging symbols: 24 MB for libstdc++ alone.
    find_program(MINGW_STRIP x86_64-w64-mingw32-strip REQUIRED)
    foreach(dll_path IN LISTS larkspur_mingw_dll_paths)
        get_filename_component(name "${dll_path}" NAME)
        set(stripped "${CMAKE_BINARY_DIR}/mingw-runtime/${name}")
        add_custom_command(OUTPUT "${stripped}"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/mingw-runtime"
            COMMAND ${MINGW_STRIP} --strip-unneeded -o "${stripped}" "${dll_path}"
            DEPENDS "${dll_path}" VERBATIM)
        install(FILES "${stripped}" DESTINATION .)
        list(APPEND deployed "${stripped}")
    endforeach()

    find_program(MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
    set(deployed_files ${deployed})
    string(JOIN "|" roots ${roots}) # lists cross into the script with another separator
    string(JOIN "|" deployed ${deployed})
    set(check "${CMAKE_CURRENT_BINARY_DIR}/${program}-imports.checked")
    add_custom_command(OUTPUT "${check}"
        COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} "-DROOTS=${roots}"
            "-DDEPLOYED=${deployed}" -P "${PROJECT_SOURCE_DIR}/cmake/check-windows-imports.cmake"
        COMMAND ${CMAKE_COMMAND} -E touch "${check}"
        DEPENDS ${program} "${PROJECT_SOURCE_DIR}/cmake/check-windows-imports.cmake"
            ${deployed_files}
        COMMENT "Checking that ${program} finds every DLL it needs among those deployed"
        VERBATIM)
    add_custom_target(${program}_imports ALL DEPENDS "${check}")
endfunction()
