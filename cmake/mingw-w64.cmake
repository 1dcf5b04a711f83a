# Shared part of the Windows cross builds with Debian's mingw-w64 compilers.
# Included by the toolchain files below, after they set QOR_MINGW_ARCH.
#
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QOR_MINGW_ARCH})
set(QOR_MINGW_TRIPLET ${QOR_MINGW_ARCH}-w64-mingw32)

# The posix thread model gives std::mutex, which GoogleTest needs; linking
# statically (see CMakeLists.txt) keeps its winpthread DLL away.
set(CMAKE_C_COMPILER ${QOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QOR_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, in a prefix of their own (scripts/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
