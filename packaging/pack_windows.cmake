# Packs the release a user installs: both Windows modules and the install note, as
#   Ostrevin-<version>-windows.zip: x86/Ostrevin.p, x64/Ostrevin.p, INSTALL.txt
#
#   cmake -DX86=<32-bit module> -DX64=<64-bit module> -DVERSION=<version> -DNOTE=<note template>
#         -DSTAGE=<scratch dir> -DARCHIVE=<zip> -P pack_windows.cmake
cmake_minimum_required(VERSION 3.20)

foreach(module X86 X64)
    if(NOT EXISTS "${${module}}")
        message(FATAL_ERROR "no module to pack for ${module}: ${${module}}")
    endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/x86" "${STAGE}/x64")
file(COPY_FILE "${X86}" "${STAGE}/x86/Ostrevin.p")
file(COPY_FILE "${X64}" "${STAGE}/x64/Ostrevin.p")
# Windows line ends, for whatever the user opens it with.
configure_file("${NOTE}" "${STAGE}/INSTALL.txt" @ONLY NEWLINE_STYLE WIN32)

get_filename_component(dir "${ARCHIVE}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
file(REMOVE "${ARCHIVE}")
# The archive names its members relative to the stage; a fixed time keeps rebuilds identical.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar cf "${ARCHIVE}" --format=zip "--mtime=2000-01-01 00:00:00 UTC"
            INSTALL.txt x86/Ostrevin.p x64/Ostrevin.p
    WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS "${ARCHIVE}")
    message(FATAL_ERROR "could not write ${ARCHIVE}")
endif()
message(STATUS "wrote ${ARCHIVE}")
