# Test doubles: Windows programs the Wine tests drive, built beside the launcher
# into build/<config>/testing.

# A service that records its start arguments and stops at once, lingers in
# stop-pending, or refuses to stop (testing/test_service.cpp).
add_executable(test_service testing/test_service.cpp)
target_include_directories(test_service PRIVATE src)
set_target_properties(test_service PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing)
target_link_options(test_service PRIVATE -static -static-libgcc -static-libstdc++ -s)
target_link_libraries(test_service PRIVATE advapi32)
