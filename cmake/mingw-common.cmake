# Shared by both widths: cross-compiles Windows programs with MinGW-w64 (posix
# threads) and runs them (tests, try_run) under Wine through tools/wine-run.
# The including file sets TOOLCHAIN_PREFIX and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages (a Kit package installed anywhere) are looked for where
# CMAKE_PREFIX_PATH says as well as under the compiler's own root.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The top-level CMakeLists.txt puts VELMORA_BUILD_DIR and VELMORA_WIDTH in
# front of this, so the wrapper finds the build tree's private Wine prefix
# and the loader of the right width.
get_filename_component(_velmora_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_velmora_root}/tools/wine-run")
