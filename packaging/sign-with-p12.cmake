# A sign command for test builds: signs the file named last on its command
# line in place with a certificate and key in a PKCS#12 file, SHA-256, with
# osslsigncode, time-stamped by LARKSPUR_SIGNING_TIMESTAMP_URL unless that is
# "none". Run as: cmake -DP12=<file> -DPASSWORD_FILE=<file>
#   -DOSSLSIGNCODE=<program> -P sign-with-p12.cmake <file to sign>
math(EXPR last "${CMAKE_ARGC} - 1")
set(file "${CMAKE_ARGV${last}}")
set(timestamp "")
if(NOT "$ENV{LARKSPUR_SIGNING_TIMESTAMP_URL}" STREQUAL "none")
    set(timestamp -ts "$ENV{LARKSPUR_SIGNING_TIMESTAMP_URL}")
endif()
# osslsigncode writes no file that is there already.
file(REMOVE "${file}.signed")
execute_process(COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${P12}" -readpass "${PASSWORD_FILE}"
        -h sha256 -n Larkspur ${timestamp} -in "${file}" -out "${file}.signed"
    OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
    file(REMOVE "${file}.signed")
    message(FATAL_ERROR "Could not sign ${file}")
endif()
file(RENAME "${file}.signed" "${file}")
