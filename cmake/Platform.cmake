# The build picks the platform folder of a module: win32/ for MinGW, posix/ otherwise.
if(WIN32)
  set(KESTROM_WINDOWS ON)
  set(KESTROM_PLATFORM_DIR win32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Self-contained executables: Wine and users need no MinGW runtime DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # The resource script (resources/) is compiled by windres.
  enable_language(RC)
else()
  set(KESTROM_WINDOWS OFF)
  set(KESTROM_PLATFORM_DIR posix)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
