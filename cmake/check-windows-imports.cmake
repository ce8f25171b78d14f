# cmake -DREADER=<objdump|-p, or dumpbin|/nologo|/dependents> -DROOTS=<program|plugins>
#       -DDEPLOYED=<dlls> [-DCANDIDATES=<dlls> -DPICKED=<file>] -P check-windows-imports.cmake
# Follows the imports of the program and its plugins through the deployed
# DLLs: each DLL named must be deployed or be part of Windows itself; each
# deployed DLL must be needed. CANDIDATES may be deployed where they are
# needed (Microsoft's runtime, of which CMake lists every DLL): those that
# are, PICKED lists, one path a line.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" ROOTS "${ROOTS}")
string(REPLACE "|" ";" DEPLOYED "${DEPLOYED}")
string(REPLACE "|" ";" CANDIDATES "${CANDIDATES}")
string(REPLACE "|" ";" READER "${READER}")

# What every Windows 10 and 11 has (and API sets, which it resolves itself).
set(windows_dlls
    advapi32.dll authz.dll comdlg32.dll d3d9.dll d3d11.dll dwmapi.dll dwrite.dll dxgi.dll
    gdi32.dll imm32.dll kernel32.dll mpr.dll msvcrt.dll netapi32.dll ntdll.dll ole32.dll oleaut32.dll
    shcore.dll shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll version.dll
    winmm.dll ws2_32.dll wtsapi32.dll)

set(deployed_by_name "")
foreach(file IN LISTS DEPLOYED CANDIDATES)
    get_filename_component(name "${file}" NAME)
    string(TOLOWER "${name}" name)
    set(path_of_${name} "${file}")
    list(APPEND deployed_by_name "${name}")
endforeach()

set(queue ${ROOTS})
set(seen "")
set(problems "")
while(queue)
    list(POP_FRONT queue file)
    if(file IN_LIST seen)
        continue()
    endif()
    list(APPEND seen "${file}")
    execute_process(COMMAND ${READER} "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${READER} cannot read ${file}")
    endif()
    # objdump -p names each import "DLL Name: x.dll"; dumpbin /dependents
    # lists them indented, one to a line, below "Image has the following
    # dependencies" (and its delay-loaded ones below their own heading).
    string(REGEX MATCHALL "DLL Name: [^\r\n]+|\n    [^ \r\n]+\\.[dD][lL][lL]" imports "${dump}")
    get_filename_component(importer "${file}" NAME)
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^(DLL Name: |\n    )" "" dll "${import}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" dll)
        if(dll IN_LIST windows_dlls OR dll MATCHES "^(api|ext)-ms-win-")
            continue()
        elseif(dll IN_LIST deployed_by_name)
            list(APPEND queue "${path_of_${dll}}")
        else()
            list(APPEND problems "${importer} needs ${dll}, which is not deployed")
        endif()
    endforeach()
endwhile()

foreach(file IN LISTS DEPLOYED)
    if(NOT file IN_LIST seen)
        list(APPEND problems "${file} is deployed but nothing needs it")
    endif()
endforeach()
if(PICKED)
    set(picked "")
    foreach(file IN LISTS CANDIDATES)
        if(file IN_LIST seen)
            string(APPEND picked "${file}\n")
        endif()
    endforeach()
    file(WRITE "${PICKED}" "${picked}")
endif()
if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "The Windows deployment is not what the program needs:\n  ${text}")
endif()
