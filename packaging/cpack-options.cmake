# Read by cpack for each package: what follows from the version it makes,
# so that `cpack -D CPACK_PACKAGE_VERSION=0.99` makes older packages of the
# same files, as the upgrade tests do.
string(REPLACE "." ";" parts "${CPACK_PACKAGE_VERSION}")
list(APPEND parts 0 0 0)
list(SUBLIST parts 0 4 parts)
list(TRANSFORM parts REPLACE "^0*([0-9])" "\\1")
list(JOIN parts "." CPACK_LARKSPUR_FILE_VERSION)
set(CPACK_PACKAGE_FILE_NAME "Larkspur-${CPACK_PACKAGE_VERSION}-win64")
