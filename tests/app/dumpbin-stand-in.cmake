# dumpbin /nologo /dependents as Microsoft documents its output ("DUMPBIN
# /DEPENDENTS"), for a program built with MSVC 2022 and its Qt, whose
# runtime CMake lists whole. Usage: cmake -P dumpbin-stand-in.cmake FILE
get_filename_component(name "${CMAKE_ARGV3}" NAME)
set(Larkspur.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll KERNEL32.dll MSVCP140.dll VCRUNTIME140.dll
    VCRUNTIME140_1.dll api-ms-win-crt-runtime-l1-1-0.dll)
set(qwindows.dll Qt6Core.dll Qt6Gui.dll USER32.dll MSVCP140.dll VCRUNTIME140.dll)
set(Qt6Core.dll KERNEL32.dll MSVCP140.dll MSVCP140_1.dll VCRUNTIME140.dll VCRUNTIME140_1.dll)
set(Qt6Gui.dll Qt6Core.dll GDI32.dll MSVCP140.dll VCRUNTIME140.dll)
set(Qt6Widgets.dll Qt6Core.dll Qt6Gui.dll MSVCP140.dll VCRUNTIME140.dll)
string(REPLACE ";" "\n    " imports "${${name}}")
execute_process(COMMAND ${CMAKE_COMMAND} -E echo "
Dump of file ${CMAKE_ARGV3}

File Type: DLL

  Image has the following dependencies:

    ${imports}

  Summary

        1000 .data")
