# Toolchain of the 32-bit build (scripts/build i386): the native g++ with -m32 and the i386
# multiarch packages (scripts/setup i386). time_t stays 32 bits wide there, as the interface has it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

# The i386 .pc files only; the x86-64 ones would hand out 64-bit libraries.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# Headers and libraries of the i386 packages first; programs (openssl, gencat) are the host's and
# run as they are, like the 32-bit test programs themselves.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
