# Native build on the build machine: the pure image kernels, their tests
# under AddressSanitizer and UndefinedBehaviorSanitizer (registered with
# CTest, so the test command runs them) and their benchmarks (bench/, run by
# scripts/bench-image.sh, never by the test command).
include(${CMAKE_CURRENT_LIST_DIR}/imagekernels.cmake)
vcam_image_kernel_simd_options()

find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFMPEG_SWSCALE REQUIRED IMPORTED_TARGET libswscale libavutil)
find_path(LIBYUV_INCLUDE_DIR libyuv.h REQUIRED)
find_library(LIBYUV_LIBRARY yuv REQUIRED)

set(VCAM_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The kernels twice: instrumented for the tests, optimised for the benchmarks.
add_library(vcam_image_kernels_sanitized STATIC ${VCAM_IMAGE_KERNEL_SOURCES})
target_compile_options(vcam_image_kernels_sanitized PRIVATE ${VCAM_WARNINGS} ${VCAM_SANITIZERS})
add_library(vcam_image_kernels STATIC ${VCAM_IMAGE_KERNEL_SOURCES})
target_compile_options(vcam_image_kernels PRIVATE ${VCAM_WARNINGS})
foreach(lib vcam_image_kernels_sanitized vcam_image_kernels)
    target_include_directories(${lib} PUBLIC ${CMAKE_SOURCE_DIR}/src)
endforeach()

if(VCAM_BUILD_TESTS)
    enable_testing()
    include(${CMAKE_SOURCE_DIR}/tests/image/kerneltests.cmake)
    add_executable(image_kernel_tests ${VCAM_IMAGE_KERNEL_TEST_SOURCES})
    target_compile_options(image_kernel_tests PRIVATE ${VCAM_WARNINGS} ${VCAM_SANITIZERS})
    target_link_options(image_kernel_tests PRIVATE ${VCAM_SANITIZERS})
    target_link_libraries(image_kernel_tests PRIVATE vcam_image_kernels_sanitized GTest::gtest_main)
    add_test(NAME image_kernel_tests COMMAND image_kernel_tests --gtest_brief=1)
    set_tests_properties(image_kernel_tests PROPERTIES
        TIMEOUT 300
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()

add_executable(image_bench
    bench/image_bench.cpp
    bench/benchpictures.cpp
    bench/referenceresample.cpp)
target_compile_options(image_bench PRIVATE ${VCAM_WARNINGS})
target_include_directories(image_bench PRIVATE ${LIBYUV_INCLUDE_DIR})
target_link_libraries(image_bench PRIVATE vcam_image_kernels benchmark::benchmark
    PkgConfig::FFMPEG_SWSCALE ${LIBYUV_LIBRARY})
