# cmake -DSVG=<drawing> -DICO=<icon> -DRSVG_CONVERT=... -DICOTOOL=... -DWORK=<folder> -P check-icon.cmake
# Draws the Windows icon afresh from the drawing, at each size Windows asks
# for (the largest kept as PNG, as Windows wants it), and fails unless it is
# byte for byte the icon kept beside the drawing.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(images "")
foreach(size 16 24 32 48 256)
    set(image "${WORK}/larkspur-${size}.png")
    execute_process(COMMAND "${RSVG_CONVERT}" -w ${size} -h ${size} -o "${image}" "${SVG}"
        COMMAND_ERROR_IS_FATAL ANY)
    if(size EQUAL 256)
        list(APPEND images "--raw=${image}")
    else()
        list(APPEND images "${image}")
    endif()
endforeach()
execute_process(COMMAND "${ICOTOOL}" --create -o "${WORK}/larkspur.ico" ${images}
    COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/larkspur.ico" "${ICO}"
    RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "${ICO} is not what ${SVG} draws: make it again with\n"
        "  cp ${WORK}/larkspur.ico ${ICO}")
endif()
