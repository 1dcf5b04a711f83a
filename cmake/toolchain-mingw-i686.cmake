# Windows x86: qorStorageWCX.wcx, __stdcall exports.
set(QOR_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
