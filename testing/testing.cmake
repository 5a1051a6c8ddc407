# Test doubles for the Wine tests, built for the same Windows target as the
# launcher into <build>/testing. They stand in for the programs and libraries
# of a Java runtime; tests/wine/jretree.py lays them out as runtime trees.
set(WL_TESTING_DIR ${CMAKE_BINARY_DIR}/testing)

function(wl_test_double target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${WL_TESTING_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${WL_TESTING_DIR}/lib
    PREFIX "")
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -s)
endfunction()

# java.exe: prints a version line on its error output, exits with a chosen
# code or hangs, and records every start.
add_executable(fake_java testing/fake_java.cpp)
set_target_properties(fake_java PROPERTIES OUTPUT_NAME java)
wl_test_double(fake_java)

# jvm.dll with JNI_CreateJavaVM, and one without it.
add_library(fake_jvm SHARED testing/fake_jvm.cpp)
set_target_properties(fake_jvm PROPERTIES OUTPUT_NAME jvm)
target_link_options(fake_jvm PRIVATE -Wl,--kill-at)
wl_test_double(fake_jvm)

add_library(fake_jvm_noexport SHARED testing/fake_jvm.cpp)
set_target_properties(fake_jvm_noexport PROPERTIES OUTPUT_NAME jvm-noexport)
target_compile_definitions(fake_jvm_noexport PRIVATE WITHOUT_CREATE_JAVA_VM)
target_link_options(fake_jvm_noexport PRIVATE -Wl,--kill-at)
wl_test_double(fake_jvm_noexport)

# unpack200.exe: writes the target jar and records its command line.
add_executable(fake_unpack200 testing/fake_unpack200.cpp)
set_target_properties(fake_unpack200 PROPERTIES OUTPUT_NAME unpack200)
wl_test_double(fake_unpack200)
