# The host programs (core, packer, unit tests) are built with AddressSanitizer
# and UndefinedBehaviorSanitizer, so that the unit and packer tests catch
# memory and undefined-behaviour faults. No report is recovered from: the
# process ends at the first one, and scripts/test fails on any report.
option(WL_SANITIZE "Build the host programs with AddressSanitizer and UBSan" ON)
if(WL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
