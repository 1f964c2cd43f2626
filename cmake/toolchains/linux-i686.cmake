# Linux 32-bit x86 with the native compiler and its multilib support (-m32).
set(CMAKE_SYSTEM_NAME Linux)
# Named so that cmake/Arithmetic.cmake recognises 32-bit x86 and adds SSE2 arithmetic.
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
foreach(_ostrevin_kind EXE SHARED MODULE)
    set(CMAKE_${_ostrevin_kind}_LINKER_FLAGS_INIT -m32)
endforeach()

# Libraries and packages from the i386 multiarch tree, never the 64-bit one.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set_property(GLOBAL PROPERTY FIND_LIBRARY_USE_LIB64_PATHS OFF)
set_property(GLOBAL PROPERTY FIND_LIBRARY_USE_LIB32_PATHS ON)
