# Tests of the pure image kernels: built natively under the sanitizers
# (cmake/native.cmake) and into the Windows image tests run under Wine.
set(VCAM_IMAGE_KERNEL_TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/imagetestsupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cropkernel_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpegframesize_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/nv12toyuy2kernel_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scalerkernel_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scalerplancache_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/yuy2tonv12kernel_test.cpp
)
