# The version resource every Windows module carries (product name, file description, version),
# made from the project's version, the one place the version is written.
if(WIN32)
    enable_language(RC)   # at file scope, as CMake asks
endif()

function(ostrevin_add_version_resource target)
    set(words ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
    list(LENGTH words count)
    while(count LESS 4)
        list(APPEND words 0)
        math(EXPR count "${count} + 1")
    endwhile()
    list(JOIN words "," OSTREVIN_VERSION_WORDS)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(OSTREVIN_VERSION_MACHINE "64-bit")
    else()
        set(OSTREVIN_VERSION_MACHINE "32-bit")
    endif()
    configure_file(${CMAKE_SOURCE_DIR}/plugin/version.rc.in ${CMAKE_BINARY_DIR}/plugin/version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/plugin/version.rc)
endfunction()
