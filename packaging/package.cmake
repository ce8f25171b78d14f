# The Debian package: `cpack -G DEB` in a Release build folder.
include(GNUInstallDirs)
set(package_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/larkspur")

# Debian wants its change log compressed, byte for byte the same every time.
set(changelog_gz "${CMAKE_CURRENT_BINARY_DIR}/changelog.gz")
add_custom_command(OUTPUT "${changelog_gz}"
    COMMAND gzip -9nc "${CMAKE_CURRENT_LIST_DIR}/changelog" > "${changelog_gz}"
    DEPENDS "${CMAKE_CURRENT_LIST_DIR}/changelog"
    VERBATIM)
add_custom_target(larkspur_changelog ALL DEPENDS "${changelog_gz}")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/copyright" "${changelog_gz}"
    DESTINATION "${package_doc_dir}")

# The manual page names the station start file of this build's drive root.
configure_file("${CMAKE_CURRENT_LIST_DIR}/Larkspur.1.in" "${CMAKE_CURRENT_BINARY_DIR}/Larkspur.1" @ONLY)
set(manual_gz "${CMAKE_CURRENT_BINARY_DIR}/Larkspur.1.gz")
add_custom_command(OUTPUT "${manual_gz}"
    COMMAND gzip -9nc "${CMAKE_CURRENT_BINARY_DIR}/Larkspur.1" > "${manual_gz}"
    DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/Larkspur.1"
    VERBATIM)
add_custom_target(larkspur_manual ALL DEPENDS "${manual_gz}")
install(FILES "${manual_gz}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

set(CPACK_PACKAGE_NAME larkspur)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Larkspur developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "set the database folder and available programs of a Pelmora station")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Larkspur sets up one workstation of the Pelmora venue-management suite.\n\
It shows, in one window, where the suite's database folder is and which of\n\
the suite's 100 programs may run on the station, and saves both to the\n\
station start file when the operator presses OK.")
set(CPACK_PACKAGE_CONTACT "The Larkspur developers <larkspur@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's font (Liberation Sans), and the two labels' Times New Roman,
# which fontconfig finds in Liberation Serif; the libraries come from shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_LARKSPUR_SOURCE_DATE_EPOCH "${larkspur_source_date_epoch}")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/cpack-reproducible.cmake")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/deb-finish.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/deb-finish.cmake")
find_program(LARKSPUR_PYTHON python3 REQUIRED)
set(CPACK_LARKSPUR_PYTHON "${LARKSPUR_PYTHON}")
set(CPACK_LARKSPUR_DEB_FINISH "${CMAKE_CURRENT_LIST_DIR}/deb-finish.py")
include(CPack)
