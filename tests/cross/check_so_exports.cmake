# Fails unless the Linux module's dynamic symbol table defines `_mod_descrip` and nothing else.
#
#   cmake -DNM=<nm> -DMODULE=<Ostrevin.p> -P check_so_exports.cmake
#
# The checker is also run on an altered copy of the real listing, which it must refuse.

cmake_minimum_required(VERSION 3.20)

function(check_listing listing out_errors)
    string(REGEX MATCHALL "[^\n]+" lines "${listing}")
    set(names "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^.* " "" name "${line}")
        list(APPEND names "${name}")
    endforeach()
    if(NOT names STREQUAL "_mod_descrip")
        set(${out_errors} "defined dynamic symbols are [${names}], not [_mod_descrip]" PARENT_SCOPE)
    else()
        set(${out_errors} "" PARENT_SCOPE)
    endif()
endfunction()

execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE listing ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} -D --defined-only ${MODULE} failed: ${err}")
endif()

check_listing("${listing}" errors)
if(errors)
    message(FATAL_ERROR "${MODULE}: ${errors}\n${listing}")
endif()

check_listing("${listing}00001000 T _ZN8ostrevin16OstrevinInstanceD2Ev\n" errors)
if(NOT errors)
    message(FATAL_ERROR "self-check: the checker accepted a second exported symbol")
endif()

message(STATUS "${MODULE}: exports only _mod_descrip")
