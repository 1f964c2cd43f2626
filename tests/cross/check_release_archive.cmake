# Opens the release archive and fails unless it holds exactly the install note and both modules,
# each of its own machine type, exporting only `_mod_descrip` with only system DLLs imported
# (check_dll_exports.cmake), and carrying the version resource of this version.
#
#   cmake -DARCHIVE=<zip> -DVERSION=<version> -DOBJDUMP=<objdump reading PE32 and PE32+>
#         -DWORK_DIR=<scratch dir> -P check_release_archive.cmake
#
# The version check is also run on an altered copy of a module, which it must refuse.
cmake_minimum_required(VERSION 3.20)

# The text as UTF-16LE, in the lower-case hex that file(READ ... HEX) gives.
function(utf16_hex text out)
    string(HEX "${text}" hex)
    string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
    set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# A version resource holds each string as its key, a NUL, padding to 4 bytes and the value.
function(check_version_resource hex out_errors)
    set(errors "")
    utf16_hex("VS_VERSION_INFO" key)
    if(NOT hex MATCHES "${key}")
        list(APPEND errors "no version resource")
    endif()
    foreach(pair "ProductName=Ostrevin" "FileVersion=${VERSION}" "ProductVersion=${VERSION}"
                 "OriginalFilename=Ostrevin.p")
        string(REPLACE "=" ";" pair "${pair}")
        list(GET pair 0 name)
        list(GET pair 1 value)
        utf16_hex("${name}" name_hex)
        utf16_hex("${value}" value_hex)
        if(NOT hex MATCHES "${name_hex}0000(0000)?${value_hex}0000")
            list(APPEND errors "the version resource has no ${name} \"${value}\"")
        endif()
    endforeach()
    utf16_hex("FileDescription" description)
    if(NOT hex MATCHES "${description}0000(0000)?[0-9a-f]")
        list(APPEND errors "the version resource has no FileDescription")
    endif()
    # The fixed part: its signature and structure version, then the file version's two words.
    string(REPLACE "." ";" words "${VERSION}.0.0.0")
    list(GET words 0 major)
    list(GET words 1 minor)
    list(GET words 2 patch)
    list(GET words 3 tweak)
    foreach(word major minor patch tweak)
        math(EXPR ${word} "${${word}}" OUTPUT_FORMAT HEXADECIMAL)
        string(REGEX REPLACE "^0x" "" ${word} "${${word}}")
        string(LENGTH "${${word}}" length)
        while(length LESS 4)
            set(${word} "0${${word}}")
            math(EXPR length "${length} + 1")
        endwhile()
        string(REGEX REPLACE "^(..)(..)$" "\\2\\1" ${word} "${${word}}")
    endforeach()
    if(NOT hex MATCHES "bd04effe00000100${minor}${major}${tweak}${patch}")
        list(APPEND errors "the fixed file version is not ${VERSION}")
    endif()
    set(${out_errors} "${errors}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${ARCHIVE}")
    message(FATAL_ERROR "no archive ${ARCHIVE}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(ARCHIVE_EXTRACT INPUT "${ARCHIVE}" DESTINATION "${WORK_DIR}")
file(GLOB_RECURSE members RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
list(SORT members)
if(NOT members STREQUAL "INSTALL.txt;x64/Ostrevin.p;x86/Ostrevin.p")
    message(FATAL_ERROR "${ARCHIVE} holds [${members}], not [INSTALL.txt;x64/Ostrevin.p;x86/Ostrevin.p]")
endif()

file(READ "${WORK_DIR}/INSTALL.txt" note)
foreach(needed "x86\\Ostrevin.p" "x64\\Ostrevin.p" "Dabrel_Ostrevin" "Procedural Texture" "${VERSION}")
    string(FIND "${note}" "${needed}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the install note does not mention ${needed}")
    endif()
endforeach()

set(failures "")
foreach(machine "x86;pei-i386;i386" "x64;pei-x86-64;i386:x86-64")
    list(GET machine 0 folder)
    list(GET machine 1 format)
    list(GET machine 2 architecture)
    set(module "${WORK_DIR}/${folder}/Ostrevin.p")

    execute_process(COMMAND ${OBJDUMP} -f "${module}" OUTPUT_VARIABLE header RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT header MATCHES "file format ${format}\n"
       OR NOT header MATCHES "architecture: ${architecture}, ")
        string(APPEND failures "\n  ${folder}: not ${format} (${architecture}):\n${header}")
    endif()

    execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DMODULE=${module}
                            -P ${CMAKE_CURRENT_LIST_DIR}/check_dll_exports.cmake
                    OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        string(APPEND failures "\n  ${folder}: ${out}")
    endif()

    file(READ "${module}" hex HEX)
    check_version_resource("${hex}" errors)
    if(errors)
        string(REPLACE ";" ", " errors "${errors}")
        string(APPEND failures "\n  ${folder}: ${errors}")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "${ARCHIVE}:${failures}")
endif()

# A module of another version, or without the resource, must not pass.
utf16_hex("ProductName" product)
string(REPLACE "${product}" "" no_product "${hex}")
check_version_resource("${no_product}" errors)
if(NOT errors)
    message(FATAL_ERROR "self-check: the checker accepted a module without its product name")
endif()
set(VERSION "${VERSION}9")
check_version_resource("${hex}" errors)
if(NOT errors)
    message(FATAL_ERROR "self-check: the checker accepted a module of another version")
endif()

message(STATUS "${ARCHIVE}: both modules of their machine type, exports and version resource as released")
