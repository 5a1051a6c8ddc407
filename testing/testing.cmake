# Test doubles for the Wine integration tests: small Windows programs that play
# the other side of what the launcher deals with. The tests run the 64-bit
# build, so the doubles are built there only; they land in build/win64/testing.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(instance_holder testing/instance_holder.cpp)
  set_target_properties(instance_holder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testing)
  target_link_options(instance_holder PRIVATE -static -static-libgcc)
  target_link_libraries(instance_holder PRIVATE advapi32)
endif()
