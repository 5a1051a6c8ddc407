# Test doubles for the Wine integration tests: small Windows programs that play
# the other side of what the launcher deals with. The tests run the 64-bit
# build, so the doubles are built there only; they land in build/win64/testing.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(instance_holder testing/instance_holder.cpp)
  set_target_properties(instance_holder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing)
  target_link_options(instance_holder PRIVATE -static -static-libgcc)
  target_link_libraries(instance_holder PRIVATE advapi32)

  # The benchmarks' baseline: a bare console program compiled and linked with
  # the launcher's flags (testing/hello.cpp).
  add_executable(hello testing/hello.cpp)
  set_target_properties(hello PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing)
  target_link_options(hello PRIVATE ${WL_LAUNCHER_LINK_OPTIONS})

  # The benchmarks' clock for services: from a control command to a state.
  add_executable(service_timer testing/service_timer.cpp)
  set_target_properties(service_timer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing)
  target_link_options(service_timer PRIVATE -static -static-libgcc -static-libstdc++ -municode)
  target_link_libraries(service_timer PRIVATE advapi32)

  # What /install configured, read back through QueryServiceConfig(2)W.
  add_executable(service_config testing/service_config.cpp)
  set_target_properties(service_config PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing)
  target_link_options(service_config PRIVATE -static -static-libgcc -static-libstdc++ -municode)
  target_link_libraries(service_config PRIVATE advapi32)
endif()

# Stand-ins for the programs and libraries of a Java runtime, laid out as
# runtime trees by tests/wine/jretree.py. They are built for both targets: the
# 32-bit jvm.dll is the wrong-architecture candidate of the 64-bit launcher.
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

# jvm.dll with JNI_CreateJavaVM and real JNI function tables, recording what
# the launcher asks of it (testing/fake_jvm.cpp); and one without the export.
add_library(fake_jvm SHARED testing/fake_jvm.cpp)
set_target_properties(fake_jvm PROPERTIES OUTPUT_NAME jvm)
target_include_directories(fake_jvm SYSTEM PRIVATE ${JNI_INCLUDE_DIRS})
target_link_options(fake_jvm PRIVATE -Wl,--kill-at)
wl_test_double(fake_jvm)

add_library(fake_jvm_noexport SHARED testing/fake_jvm.cpp)
set_target_properties(fake_jvm_noexport PROPERTIES OUTPUT_NAME jvm-noexport)
target_include_directories(fake_jvm_noexport SYSTEM PRIVATE ${JNI_INCLUDE_DIRS})
target_compile_definitions(fake_jvm_noexport PRIVATE WITHOUT_CREATE_JAVA_VM)
target_link_options(fake_jvm_noexport PRIVATE -Wl,--kill-at)
wl_test_double(fake_jvm_noexport)

# The bridge runtime: the same JNI tables, but main runs in the host's Linux
# java (testing/jvm_bridge.h). Laid out as jvm.dll beside bridge.jar.
add_library(bridge_jvm SHARED testing/fake_jvm.cpp testing/jvm_bridge.cpp)
set_target_properties(bridge_jvm PROPERTIES OUTPUT_NAME jvm-bridge)
target_include_directories(bridge_jvm SYSTEM PRIVATE ${JNI_INCLUDE_DIRS})
target_compile_definitions(bridge_jvm PRIVATE BRIDGE_JVM)
target_link_options(bridge_jvm PRIVATE -Wl,--kill-at)
wl_test_double(bridge_jvm)

# unpack200.exe: writes the target jar and records its command line.
add_executable(fake_unpack200 testing/fake_unpack200.cpp)
set_target_properties(fake_unpack200 PROPERTIES OUTPUT_NAME unpack200)
wl_test_double(fake_unpack200)

# A service that records its start arguments and stops at once, lingers in
# stop-pending, or refuses to stop (testing/test_service.cpp).
add_executable(test_service testing/test_service.cpp)
target_include_directories(test_service PRIVATE src)
target_link_libraries(test_service PRIVATE advapi32)
wl_test_double(test_service)
