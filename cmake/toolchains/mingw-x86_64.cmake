# Windows 64-bit (x64), the format of every current host, with Debian's mingw-w64 cross compiler.
# The posix-threads variant, because the tests use std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OSTREVIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OSTREVIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OSTREVIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OSTREVIN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OSTREVIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and the module carry the C, C++ and thread runtimes, so they need only system DLLs.
foreach(_ostrevin_kind EXE SHARED MODULE)
    set(CMAKE_${_ostrevin_kind}_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endforeach()

# ctest runs the programs under 64-bit Wine, in a prefix of this build directory's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh win64 ${CMAKE_BINARY_DIR}/wine)
