# Windows wants a version as four numbers: "1.00" is 1.0.0.0, "0.99" is
# 0.99.0.0. Included by the build (the program's version information) and by
# cpack for each package (packaging/cpack-options.cmake), whose version may be
# another.
function(larkspur_four_part_version version out)
    string(REPLACE "." ";" parts "${version}")
    list(APPEND parts 0 0 0)
    list(SUBLIST parts 0 4 parts)
    list(TRANSFORM parts REPLACE "^0*([0-9])" "\\1")
    list(JOIN parts "." four_parts)
    set(${out} "${four_parts}" PARENT_SCOPE)
endfunction()
