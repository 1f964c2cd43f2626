# Runs the values tool of the native reference and of this build (through its emulator, if any)
# and fails unless both write the same bytes: the same points and the same texture values.
#
#   cmake -DREFERENCE_TOOL=<native tool> -DREFERENCE_DIR=<its build> -DTOOL=<this build's tool>
#         -DEMULATOR=<a|b|...> -DWORK_DIR=<dir> -P compare_values.cmake
cmake_minimum_required(VERSION 3.20)

string(REPLACE "|" ";" emulator "${EMULATOR}")
set(reference "${WORK_DIR}/values-native.txt")
set(target "${WORK_DIR}/values-target.txt")
file(REMOVE "${reference}" "${target}")

# Relative output paths: the Windows program resolves them in Wine's view of the same directory.
# The reference is shared with the other cross builds: not while one of them rebuilds it.
file(LOCK "${REFERENCE_DIR}.lock" GUARD PROCESS TIMEOUT 3600)
execute_process(COMMAND ${REFERENCE_TOOL} values-native.txt WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc)
file(LOCK "${REFERENCE_DIR}.lock" RELEASE)
if(NOT rc EQUAL 0 OR NOT EXISTS "${reference}")
    message(FATAL_ERROR "the native reference tool failed (${rc})")
endif()
execute_process(COMMAND ${emulator} ${TOOL} values-target.txt WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${target}")
    message(FATAL_ERROR "this build's tool failed (${rc})")
endif()

file(STRINGS "${target}" summaries REGEX "^(target|summary) ")
string(REPLACE ";" "\n" summary_text "${summaries}")
message("${summary_text}")

file(SHA256 "${reference}" reference_hash)
file(SHA256 "${target}" target_hash)
if(NOT reference_hash STREQUAL target_hash)
    file(STRINGS "${reference}" expected)
    file(STRINGS "${target}" actual)
    list(LENGTH expected expected_count)
    list(LENGTH actual actual_count)
    set(report "")
    set(shown 0)
    math(EXPR last "${expected_count} - 1")
    foreach(i RANGE ${last})
        if(i GREATER_EQUAL actual_count)
            break()
        endif()
        list(GET expected ${i} e)
        list(GET actual ${i} a)
        if(NOT e STREQUAL a)
            math(EXPR line "${i} + 1")
            string(APPEND report "\n  line ${line}\n    native: ${e}\n    target: ${a}")
            math(EXPR shown "${shown} + 1")
            if(shown EQUAL 10)
                break()
            endif()
        endif()
    endforeach()
    message(FATAL_ERROR "values differ from the native build (${expected_count} native lines, "
                        "${actual_count} here; columns: x y z, then the values along X, Y, Z):${report}")
endif()

# Identical, but only a comparison of real answers proves anything.
if(summaries MATCHES "picked 0")
    message("cross values: not meaningful yet: the target could not be picked through the settings panel")
elseif(NOT summaries MATCHES "1\\.0 x [1-9]")
    message(FATAL_ERROR "identical, but every value is 0.0: the comparison proves nothing")
else()
    message(STATUS "identical to the native build")
endif()
