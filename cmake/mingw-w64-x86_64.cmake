# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
# The POSIX thread model is required: std::thread and std::mutex of the C++
# library rely on it.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The programs run under Wine (wine64) on Linux; see the README.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ALD_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ALD_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ALD_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ALD_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ALD_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes go into each binary, so that a program needs no
# MinGW DLLs beside it (and Wine finds nothing missing).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Tests run their programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
