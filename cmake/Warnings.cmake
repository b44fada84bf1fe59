add_compile_options(-Wall -Wextra -Werror)
# GCC 12 at -O3 (the release and Windows trees) reports code it inlined from
# the standard library as out of bounds (-Warray-bounds: std::vector's moves)
# or overlapping (-Wrestrict: std::string's operator+), known false positives
# of that version; they stay warnings there so that those trees build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
  add_compile_options($<$<CONFIG:Release>:-Wno-error=restrict>
                      $<$<CONFIG:Release>:-Wno-error=array-bounds>)
endif()
