# Builds the values tool and the module for the build machine itself, the reference a cross
# build's values are compared with. The directory is kept, so later runs only rebuild what changed.
#
#   cmake -DSOURCE_DIR=<sources> -DBINARY_DIR=<dir> -DGENERATOR=<generator> -P build_native_reference.cmake
cmake_minimum_required(VERSION 3.20)

# Several cross builds share the directory: one at a time builds in it (the lock goes with the process).
file(LOCK "${BINARY_DIR}.lock" GUARD PROCESS TIMEOUT 3600)

if(NOT EXISTS "${BINARY_DIR}/CMakeCache.txt")
    # A clean environment for the native compiler: nothing of the cross build's set-up.
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX --unset=CFLAGS --unset=CXXFLAGS --unset=LDFLAGS
                ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
                -DOSTREVIN_TESTS=ON -DOSTREVIN_TOOLS=OFF -DOSTREVIN_BENCH=OFF
        RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        file(REMOVE "${BINARY_DIR}/CMakeCache.txt")
        message(FATAL_ERROR "configuring the native reference in ${BINARY_DIR} failed")
    endif()
endif()

# Two jobs: the machine's cores are shared.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ostrevin-cross-values --parallel 2
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "building the native reference in ${BINARY_DIR} failed")
endif()
