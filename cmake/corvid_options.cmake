# SPDX-License-Identifier: MIT
# Warning and sanitizer flags shared by every target of the project. Applied
# PRIVATE so that consumers of the installed package never inherit them.
add_library(corvid_options INTERFACE)
target_compile_options(corvid_options INTERFACE -Wall -Wextra -Wpedantic)
if(CORVID_WERROR)
  target_compile_options(corvid_options INTERFACE -Werror)
endif()
if(CORVID_SANITIZE)
  target_compile_options(corvid_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(corvid_options INTERFACE -fsanitize=address,undefined)
endif()

function(corvid_use_options target)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:corvid_options>)
endfunction()
