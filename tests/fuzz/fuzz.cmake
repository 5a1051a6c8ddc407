# The fuzz targets: libFuzzer with AddressSanitizer and UBSan, built with clang
# in a build directory of their own (scripts/fuzz configures it with
# -DWL_FUZZ=ON). One target per input surface, each linked against the
# portable core compiled with the same instrumentation.
set(WL_FUZZ_INSTRUMENT -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer -g)

add_library(wlfuzzcore STATIC ${CORE_SOURCES} tests/fuzz/fuzz_support.cpp)
target_include_directories(wlfuzzcore PUBLIC src tests/fuzz)
target_include_directories(wlfuzzcore SYSTEM PUBLIC ${JNI_INCLUDE_DIRS})
target_compile_options(wlfuzzcore PUBLIC ${WL_FUZZ_INSTRUMENT})

# wl_fuzz_target(name sources...): tests/fuzz/<name>_fuzz.cpp becomes fuzz_<name>.
function(wl_fuzz_target name)
  add_executable(fuzz_${name} tests/fuzz/${name}_fuzz.cpp ${ARGN})
  target_link_libraries(fuzz_${name} PRIVATE wlfuzzcore)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

wl_fuzz_target(block)
wl_fuzz_target(cmdline)
wl_fuzz_target(expand)
wl_fuzz_target(version)
wl_fuzz_target(locale)
wl_fuzz_target(names)
wl_fuzz_target(options)
wl_fuzz_target(wildcard)
wl_fuzz_target(classpath)

# The packer's TOML reader and block mapping (toml++ is header-only and on the
# default include path of the build machine).
wl_fuzz_target(toml ${PACK_SOURCES} tools/pack/codepage.cpp tools/pack/platform_posix.cpp)
target_include_directories(fuzz_toml PRIVATE tools/pack)
