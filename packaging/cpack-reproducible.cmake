# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE): every entry of
# a package carries the commit's time, in UTC, whatever the environment of
# whoever packs. CPack's archives take their times from SOURCE_DATE_EPOCH;
# a zip's are local times.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_LARKSPUR_SOURCE_DATE_EPOCH}")
set(ENV{TZ} UTC)
