# 64-bit Windows: the same sources built for x64 (build/x64/), run by Wine's
# 64-bit loader where the machine runs no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
