# Windows x64: qorStorageWCX.wcx64.
set(QOR_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
