# Cross build for the board: ARMv5 (i.MX27), Debian's armel compiler.
# DRAVEL_ARMEL_SYSROOT names a folder into which Debian's armel packages of
# the libraries (libjpeg) were unpacked; test.sh prepares it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
set(CMAKE_C_FLAGS_INIT "-march=armv5te")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te")
# Debian's name of this architecture, for the package that cpack makes.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armel)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DRAVEL_ARMEL_SYSROOT)
if(NOT DRAVEL_ARMEL_SYSROOT)
  message(FATAL_ERROR "DRAVEL_ARMEL_SYSROOT must name the unpacked armel libraries")
endif()
# Linked statically, so the programs need nothing at run time but the
# compiler's own C and C++ libraries.
set(JPEG_INCLUDE_DIR ${DRAVEL_ARMEL_SYSROOT}/usr/include ${DRAVEL_ARMEL_SYSROOT}/usr/include/arm-linux-gnueabi
    CACHE STRING "" FORCE)
set(JPEG_LIBRARY ${DRAVEL_ARMEL_SYSROOT}/usr/lib/arm-linux-gnueabi/libjpeg.a CACHE FILEPATH "" FORCE)

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi ${DRAVEL_ARMEL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabi)
