add_compile_options(-Wall -Wextra -Werror)
# GCC 12 at -O3 (the release tree) reports its own inlined std::string
# operator+ ("text" + string) as an overlapping memcpy (-Wrestrict), a known
# false positive; it stays a warning so that the release tree builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
  add_compile_options(-Wno-error=restrict)
endif()
