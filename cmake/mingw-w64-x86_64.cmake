# Cross-build for 64-bit Windows with MinGW-w64 (Debian package g++-mingw-w64-x86-64): the same
# program for running the Windows tests under 64-bit Wine on machines that cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
