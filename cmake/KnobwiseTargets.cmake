# Compiler settings shared by every target that is our own code.
#
# KNOBWISE_WERROR turns warnings into errors (on by default, as CI builds);
# KNOBWISE_SANITIZE builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer.

option(KNOBWISE_WERROR "Treat compiler warnings as errors" ON)
option(KNOBWISE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(KNOBWISE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

function(knobwise_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KNOBWISE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()
