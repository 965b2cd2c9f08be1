# The pure image kernels: plain C++ on bytes, built into the product (src/)
# and natively (cmake/native.cmake) for the sanitizer tests and benchmarks.
set(VCAM_IMAGE_KERNEL_SOURCES
    ${CMAKE_SOURCE_DIR}/src/image/cpufeatures.cpp
    ${CMAKE_SOURCE_DIR}/src/image/cropkernel.cpp
    ${CMAKE_SOURCE_DIR}/src/image/jpegframesize.cpp
    ${CMAKE_SOURCE_DIR}/src/image/nv12toyuy2kernel.cpp
    ${CMAKE_SOURCE_DIR}/src/image/scalerkernel.cpp
    ${CMAKE_SOURCE_DIR}/src/image/scalerkernel_sse2.cpp
    ${CMAKE_SOURCE_DIR}/src/image/scalerkernel_avx2.cpp
    ${CMAKE_SOURCE_DIR}/src/image/scalerplancache.cpp
    ${CMAKE_SOURCE_DIR}/src/image/yuy2tonv12kernel.cpp
    ${CMAKE_SOURCE_DIR}/src/image/yuy2tonv12kernel_sse2.cpp
    ${CMAKE_SOURCE_DIR}/src/image/yuy2tonv12kernel_avx2.cpp
)

# Instruction-set switches for the files that hold SIMD code; each runs only
# after a processor check. Source properties belong to a directory, so the
# directory that adds the kernels to a target calls this. MSVC needs no
# switch for the intrinsics.
function(vcam_image_kernel_simd_options)
    if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x86|i.86)$")
        return()
    endif()
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        return()
    endif()
    set(common)
    if(MINGW)
        # GCC cannot align the Windows stack to 32 bytes for spilled AVX
        # registers, nor trust 16 on 32-bit Windows: realign, and let the
        # assembler turn aligned vector moves into unaligned ones.
        list(APPEND common -mstackrealign -Wa,-muse-unaligned-vector-move)
    endif()
    # Their instruction sets differ from the target's precompiled headers, which
    # they do not need anyway: plain C++ on bytes.
    set_source_files_properties(
        ${CMAKE_SOURCE_DIR}/src/image/scalerkernel_sse2.cpp
        ${CMAKE_SOURCE_DIR}/src/image/yuy2tonv12kernel_sse2.cpp
        DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
        PROPERTIES COMPILE_OPTIONS "-msse2;${common}" SKIP_PRECOMPILE_HEADERS ON)
    set_source_files_properties(
        ${CMAKE_SOURCE_DIR}/src/image/scalerkernel_avx2.cpp
        ${CMAKE_SOURCE_DIR}/src/image/yuy2tonv12kernel_avx2.cpp
        DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
        PROPERTIES COMPILE_OPTIONS "-mavx2;${common}" SKIP_PRECOMPILE_HEADERS ON)
endfunction()
