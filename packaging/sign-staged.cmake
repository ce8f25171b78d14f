# Run by cpack for every package, after it has staged the files and before
# it packs them: signs every program and DLL among them.
include("${CPACK_LARKSPUR_SIGN_SCRIPT}")
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe"
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.dll")
foreach(program IN LISTS programs)
    larkspur_sign("${program}")
endforeach()
