# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer, each
# ending the program at its first report, so that a test with undefined behaviour
# fails. VELMOTH_FUZZ adds the fuzz targets (tests/fuzz), for clang only.
if(VELMOTH_FUZZ AND NOT (VELMOTH_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
  message(FATAL_ERROR "The libFuzzer targets need clang and VELMOTH_SANITIZE: "
                      "configure with the sanitize preset")
endif()

set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all)
# libstdc++'s own checks, operator[] out of range among them, come along.
add_compile_options(${sanitizers} -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS)
add_link_options(${sanitizers})
