# The one time that every package carries, so that two builds of one commit
# give the same bytes, whoever builds them and whenever: SOURCE_DATE_EPOCH
# (https://reproducible-builds.org/specs/source-date-epoch/). Taken from the
# environment at configure time when given there, else the commit's time
# from git; a new commit configures the build again. Without either (a
# source tarball), the time of CMakeLists.txt, which a tarball keeps.
# Sets larkspur_source_date_epoch.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(larkspur_source_date_epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
    find_package(Git QUIET)
    set(larkspur_source_date_epoch "")
    if(GIT_FOUND)
        execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct
            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" RESULT_VARIABLE failed
            OUTPUT_VARIABLE larkspur_source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --path-format=absolute
                --git-path logs/HEAD
            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
            OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(failed)
            set(larkspur_source_date_epoch "")
        elseif(EXISTS "${head_log}")
            # Written by every commit, checkout and reset.
            set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                "${head_log}")
        endif()
    endif()
    if(larkspur_source_date_epoch STREQUAL "")
        file(TIMESTAMP "${PROJECT_SOURCE_DIR}/CMakeLists.txt" larkspur_source_date_epoch "%s" UTC)
        message(NOTICE "No git history: the packages carry the time of CMakeLists.txt "
            "(${larkspur_source_date_epoch}); give SOURCE_DATE_EPOCH to choose another")
    endif()
endif()
if(NOT larkspur_source_date_epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is seconds since 1970, not \"${larkspur_source_date_epoch}\"")
endif()
