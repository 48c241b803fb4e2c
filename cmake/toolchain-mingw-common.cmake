# The -posix compilers: their libstdc++ has std::mutex and std::thread.
set(CMAKE_C_COMPILER ${TESSARN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARN_TRIPLE}-windres)
set(CMAKE_AR ${TESSARN_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TESSARN_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${TESSARN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Everything the compiler brings is linked in, so that the module and the
# test programs import nothing but Windows system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
