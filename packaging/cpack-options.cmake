# Read by cpack for each package: what follows from the version it makes,
# so that `cpack -D CPACK_PACKAGE_VERSION=0.99` makes older packages of the
# same files, as the upgrade tests do. The time every package carries.
include("${CMAKE_CURRENT_LIST_DIR}/cpack-reproducible.cmake")
include("${CPACK_LARKSPUR_CMAKE_FOLDER}/four-part-version.cmake")
larkspur_four_part_version("${CPACK_PACKAGE_VERSION}" CPACK_LARKSPUR_FILE_VERSION)
set(CPACK_PACKAGE_FILE_NAME "Larkspur-${CPACK_PACKAGE_VERSION}-win64")
