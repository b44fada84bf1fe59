# For the compilers only: the resource compiler of the Windows build takes
# none of these.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Werror>")

# g++ 12 at -O3 reports out-of-bounds copies and overlapping arguments inside
# the standard library's own inlined string and vector code that cannot
# happen (GCC bugs 105329, 105651). They stay visible as warnings but do not
# fail the optimised builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-Wno-error=array-bounds;-Wno-error=restrict;-Wno-error=stringop-overflow>")
endif()
