# Project code is held to warnings-as-errors; third-party headers come in as
# SYSTEM includes through their imported targets, so they stay quiet.
# -Wconversion is left out on purpose: the device's 16-bit words make every
# stored result an int-to-uint16 narrowing, and the truncation is the
# specified behaviour, so the warning would only teach us to cast blindly.
function(veloquin_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-qual
    -Wformat=2 -Wimplicit-fallthrough -Wold-style-cast -Werror)
endfunction()

# A plain C++ library of the core: no Qt, linked by the programs and the tests.
function(veloquin_core_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  veloquin_warnings(${name})
endfunction()
