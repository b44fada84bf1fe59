add_compile_options(-Wall -Wextra -Werror)
# GCC 12 at -O3 (the release tree) reports code it inlined from the standard
# library as out of bounds (-Warray-bounds: std::vector's moves) or
# overlapping (-Wrestrict: std::string's operator+), known false positives of
# that version; they stay warnings so that the release tree builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
  add_compile_options(-Wno-error=restrict -Wno-error=array-bounds)
endif()
