# Fails unless the Windows module names itself "Ostrevin.p" in its export table, exports
# `_mod_descrip` and nothing else, and imports only Windows system DLLs (its C, C++ and thread
# runtimes must be linked in: the host's machine has no MinGW DLLs).
#
#   cmake -DOBJDUMP=<objdump> -DMODULE=<Ostrevin.p> -P check_dll_exports.cmake
#
# The checker is also run on altered copies of the real dump, each of which it must refuse, so a
# parse that quietly finds nothing cannot pass.

cmake_minimum_required(VERSION 3.20)

set(system_dlls kernel32.dll msvcrt.dll ucrtbase.dll user32.dll gdi32.dll advapi32.dll ntdll.dll
    shell32.dll ole32.dll oleaut32.dll ws2_32.dll bcrypt.dll)

function(check_dump dump out_errors)
    set(errors "")

    string(FIND "${dump}" "The Export Tables" at)
    if(at EQUAL -1)
        list(APPEND errors "no export table")
        set(${out_errors} "${errors}" PARENT_SCOPE)
        return()
    endif()
    string(SUBSTRING "${dump}" ${at} -1 exports)

    if(NOT exports MATCHES "\nName[ \t]+[0-9a-fA-F]+ ([^\n]*)\n")
        list(APPEND errors "the export table has no name")
    elseif(NOT CMAKE_MATCH_1 STREQUAL "Ostrevin.p")
        list(APPEND errors "the export table names the file \"${CMAKE_MATCH_1}\", not \"Ostrevin.p\"")
    endif()

    if(NOT exports MATCHES "Export Address Table[ \t]+([0-9a-fA-F]+)\n")
        list(APPEND errors "no export address table count")
    elseif(NOT CMAKE_MATCH_1 MATCHES "^0*1$")
        list(APPEND errors "${CMAKE_MATCH_1} (hex) exported addresses, not one")
    endif()

    # The listing of names: "[Ordinal/Name Pointer] Table" up to the next empty line.
    string(FIND "${exports}" "Pointer] Table\n" at)
    set(names "")
    if(NOT at EQUAL -1)
        string(SUBSTRING "${exports}" ${at} -1 listing)
        string(FIND "${listing}" "\n\n" end)
        string(SUBSTRING "${listing}" 0 ${end} listing)
        string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${listing}")
        foreach(entry IN LISTS entries)
            string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
            string(STRIP "${name}" name)
            list(APPEND names "${name}")
        endforeach()
    endif()
    if(NOT names STREQUAL "_mod_descrip")
        list(APPEND errors "exported names are [${names}], not [_mod_descrip]")
    endif()

    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    if(NOT imports)
        list(APPEND errors "no imported DLLs found (KERNEL32.dll at least is expected)")
    endif()
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" dll "${import}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" lower)
        if(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
            list(APPEND errors "imports ${dll}, which is not a Windows system DLL")
        endif()
    endforeach()

    set(${out_errors} "${errors}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed: ${err}")
endif()

check_dump("${dump}" errors)
if(errors)
    string(REPLACE ";" "\n  " errors "${errors}")
    message(FATAL_ERROR "${MODULE}:\n  ${errors}")
endif()

# Each alteration stands for a fault the check exists to catch.
string(REPLACE " _mod_descrip\n" " _mod_descrip\n\t[   1] _ZN8ostrevin11pluginEntryEv\n" extra_export "${dump}")
string(REGEX REPLACE "(Export Address Table[ \t]+)0*1\n" "\\100000002\n" extra_address "${dump}")
string(REGEX REPLACE "(\nName[ \t]+[0-9a-fA-F]+ )Ostrevin.p" "\\1Ostrevin.dll" renamed "${dump}")
string(REPLACE "DLL Name: msvcrt.dll" "DLL Name: libstdc++-6.dll" runtime_dll "${dump}")
string(REPLACE "DLL Name: KERNEL32.dll" "DLL Name: libwinpthread-1.dll" thread_dll "${dump}")
foreach(fault extra_export extra_address renamed runtime_dll thread_dll)
    if("${${fault}}" STREQUAL "${dump}")
        message(FATAL_ERROR "self-check ${fault}: the alteration did not apply to this dump")
    endif()
    check_dump("${${fault}}" errors)
    if(NOT errors)
        message(FATAL_ERROR "self-check ${fault}: the checker accepted a faulty dump")
    endif()
endforeach()

message(STATUS "${MODULE}: named Ostrevin.p, exports only _mod_descrip, imports only system DLLs")
