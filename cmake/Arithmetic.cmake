# The inside test relies on exact signs and zeros: the same double arithmetic on every target.
# No fused multiply-add, SSE2 rather than x87 on 32-bit x86, and no host-specific tuning.
add_compile_options(-ffp-contract=off)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "i[3-6]86|x86|AMD64|x86_64")
    add_compile_options(-msse2 -mfpmath=sse)
endif()
