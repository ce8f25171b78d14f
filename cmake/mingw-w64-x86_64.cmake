# Cross-compiles for 64-bit Windows 10 and 11 with Debian's MinGW-w64, in
# its posix thread model (Qt 6 needs std::thread). Give the Qt for Windows
# as CMAKE_PREFIX_PATH and Debian's own Qt host tools as QT_HOST_PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_SYSTEM_VERSION 10)

set(toolchain_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${toolchain_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${toolchain_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${toolchain_prefix}-windres)

# Libraries, headers and packages from the target's folders only; programs
# (moc, the host's tools) from the host. The Qt SDK joins the roots, or
# find_package(Qt6) would look for it inside /usr/x86_64-w64-mingw32.
set(CMAKE_FIND_ROOT_PATH /usr/${toolchain_prefix} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
