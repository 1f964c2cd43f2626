# `make dist`: the 64-bit Windows build packs its module with the 32-bit build's into the release
# archive, named after the project's version, and then opens it to check both modules.
set(OSTREVIN_DIST_X86_MODULE "" CACHE FILEPATH "The 32-bit Windows module to pack beside this build's")
set(OSTREVIN_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where the release archive goes")

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND OSTREVIN_DIST_X86_MODULE)
    set(_ostrevin_archive ${OSTREVIN_DIST_DIR}/Ostrevin-${PROJECT_VERSION}-windows.zip)
    add_custom_target(dist
        COMMAND ${CMAKE_COMMAND} -DX86=${OSTREVIN_DIST_X86_MODULE} -DX64=$<TARGET_FILE:ostrevin_module>
                -DVERSION=${PROJECT_VERSION} -DNOTE=${CMAKE_SOURCE_DIR}/packaging/INSTALL-windows.txt.in
                -DSTAGE=${CMAKE_BINARY_DIR}/dist-stage -DARCHIVE=${_ostrevin_archive}
                -P ${CMAKE_SOURCE_DIR}/packaging/pack_windows.cmake
        COMMAND ${CMAKE_COMMAND} -DARCHIVE=${_ostrevin_archive} -DVERSION=${PROJECT_VERSION}
                -DOBJDUMP=${CMAKE_OBJDUMP} -DWORK_DIR=${CMAKE_BINARY_DIR}/dist-check
                -P ${CMAKE_SOURCE_DIR}/tests/cross/check_release_archive.cmake
        DEPENDS ostrevin_module
        COMMENT "Packing and checking ${_ostrevin_archive}"
        VERBATIM)
endif()
