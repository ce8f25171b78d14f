# What Larkspur.exe needs beside it on Windows: the Qt DLLs, the plugins for
# the windows platform and its native style, and MinGW-w64's runtime.
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
