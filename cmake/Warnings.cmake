add_library(ostrevin_warnings INTERFACE)
target_compile_options(ostrevin_warnings INTERFACE
    -Wall -Wextra -Wpedantic $<IF:$<CXX_COMPILER_ID:GNU>,-Wshadow=local,-Wshadow> -Wconversion -Wno-sign-conversion -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2)
if(OSTREVIN_WERROR)
    target_compile_options(ostrevin_warnings INTERFACE -Werror)
endif()
