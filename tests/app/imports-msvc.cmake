# The import check on dumpbin's output, with Microsoft's runtime as CMake
# lists it for MSVC 2022: it picks what is imported, and refuses a deployed
# DLL that nothing imports. Usage: cmake -DSCRIPTS=<this folder> -DCHECK=<check-windows-imports.cmake> -DWORK=<folder> -P imports-msvc.cmake
set(runtime msvcp140.dll msvcp140_1.dll msvcp140_2.dll msvcp140_atomic_wait.dll
    msvcp140_codecvt_ids.dll vcruntime140.dll vcruntime140_1.dll concrt140.dll)
list(TRANSFORM runtime PREPEND "C:/VC/")
string(JOIN "|" candidates ${runtime})
set(check ${CMAKE_COMMAND} "-DREADER=${CMAKE_COMMAND}|-P|${SCRIPTS}/dumpbin-stand-in.cmake"
    "-DROOTS=Larkspur.exe|qwindows.dll" -DCANDIDATES=${candidates} -DPICKED=${WORK}/picked.txt)
execute_process(COMMAND ${check} "-DDEPLOYED=Qt6Core.dll|Qt6Gui.dll|Qt6Widgets.dll" -P ${CHECK}
    RESULT_VARIABLE failed ERROR_VARIABLE errors)
file(READ "${WORK}/picked.txt" picked)
set(wanted "C:/VC/msvcp140.dll\nC:/VC/msvcp140_1.dll\nC:/VC/vcruntime140.dll\nC:/VC/vcruntime140_1.dll\n")
if(failed OR NOT picked STREQUAL wanted)
    message(FATAL_ERROR "Picked:\n${picked}instead of:\n${wanted}${errors}")
endif()
execute_process(COMMAND ${check} "-DDEPLOYED=Qt6Core.dll|Qt6Gui.dll|Qt6Widgets.dll|C:/VC/concrt140.dll"
    -P ${CHECK}
    RESULT_VARIABLE failed ERROR_VARIABLE errors)
if(NOT errors MATCHES "concrt140.dll is deployed but nothing needs it")
    message(FATAL_ERROR "An unneeded concrt140.dll was not refused:\n${errors}")
endif()
