# Fails if the module's own object files compute with the x87 unit: its 80-bit intermediates
# would round differently from the SSE2 and 64-bit builds. Loads and stores stay allowed, since
# the 32-bit calling convention returns a double in the x87 register.
#
#   cmake -DOBJDUMP=<objdump> -DOBJECTS=<a.o|b.o|...> -P check_no_x87.cmake
#
# The checker is also run on an altered disassembly, which it must refuse.
cmake_minimum_required(VERSION 3.20)

set(x87_arithmetic "^f(i?(add|sub|mul|div)|sqrt|prem|rndint|scale|sin|cos|ptan|patan|2xm1|yl2x|i?u?com|chs|abs|tst|xam)")

function(check_disassembly text out_found)
    set(found "")
    # "  1f:\tfldl   0x4(%esp)": address, tab, mnemonic (the raw bytes are not shown).
    string(REGEX MATCHALL "\n *[0-9a-f]+:\t[a-z0-9]+[^\n]*" lines "${text}")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^\n *[0-9a-f]+:\t([a-z0-9]+).*" "\\1" mnemonic "${line}")
        if(mnemonic MATCHES "${x87_arithmetic}")
            string(STRIP "${line}" line)
            list(APPEND found "${line}")
        endif()
    endforeach()
    set(${out_found} "${found}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" objects "${OBJECTS}")
set(report "")
set(sample "")
foreach(object IN LISTS objects)
    execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${object} OUTPUT_VARIABLE text
                    ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -d ${object} failed: ${err}")
    endif()
    check_disassembly("${text}" found)
    if(found)
        list(GET found 0 first)
        string(APPEND report "\n  ${object}: ${first}")
    endif()
    string(APPEND sample "${text}")
endforeach()
if(report)
    message(FATAL_ERROR "x87 arithmetic in the module's code:${report}")
endif()

string(REGEX MATCH "\n *[0-9a-f]+:\t" at "${sample}")
if(NOT at)
    message(FATAL_ERROR "self-check: no instructions found in the disassembly")
endif()
check_disassembly("${sample}${at}faddl  0x8(%esp)\n" found)
if(NOT found)
    message(FATAL_ERROR "self-check: the checker accepted an x87 addition")
endif()

list(LENGTH objects count)
message(STATUS "${count} object files of the module: no x87 arithmetic")
