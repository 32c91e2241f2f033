# Compiler settings shared by every target that is our own code.
#
# KNOBWISE_WERROR turns warnings into errors (on by default, as CI builds);
# KNOBWISE_SANITIZE builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer; KNOBWISE_HARDEN with the hardening that Debian
# builds its packages with.

option(KNOBWISE_WERROR "Treat compiler warnings as errors" ON)
option(KNOBWISE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(KNOBWISE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The Debian package is built from a build for the prefix /usr
# (KnobwisePackaging.cmake), so that build is hardened by default: glibc's
# checked string and memory functions, the stack protector, and relocations
# made read-only once resolved, all of them at start (the program's own are
# few: binding them at once costs it about 600 of the loader's 13,000
# relocations). Builds for developing and testing keep their flags.
# _FORTIFY_SOURCE needs the optimizer, which a Debug build does not run; it is
# undefined first, since some compilers define it themselves.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr" AND NOT KNOBWISE_SANITIZE)
  set(_knobwise_harden_default ON)
else()
  set(_knobwise_harden_default OFF)
endif()
option(KNOBWISE_HARDEN "Build with Debian's hardening flags (default: on for the prefix /usr)"
       ${_knobwise_harden_default})
if(KNOBWISE_HARDEN)
  add_compile_options(-fstack-protector-strong
                      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE>
                      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# knobwise_compress(TARGET FILE...): FILE.gz beside each FILE of the build
# tree, made by TARGET (built by default), compressed as Debian keeps manual
# pages and changelogs: gzip -9n, the best compression and neither name nor
# time in the header, so that the same text always gives the same bytes.
function(knobwise_compress target)
  find_program(KNOBWISE_GZIP gzip REQUIRED)
  set(compressed)
  foreach(file IN LISTS ARGN)
    add_custom_command(
      OUTPUT ${file}.gz
      COMMAND ${KNOBWISE_GZIP} -9nkf ${file}
      DEPENDS ${file}
      VERBATIM)
    list(APPEND compressed ${file}.gz)
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${compressed})
endfunction()

function(knobwise_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KNOBWISE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# knobwise_wing(TARGET NAME DIR): the headers in DIR are included as
# "NAME/header.h", by TARGET and by whatever links to it, and by nothing
# else: the include directory holds a link to DIR alone. A wing that
# includes a header of a wing it does not link to (one above it) does not
# build.
function(knobwise_wing target name dir)
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${dir} ${root}/${name} SYMBOLIC)
  knobwise_include(${target} ${root})
endfunction()

# knobwise_headers(TARGET NAME FILE...): single headers included by their
# bare names ("wintypes.h"), through an include directory of their own.
function(knobwise_headers target name)
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(MAKE_DIRECTORY ${root})
  foreach(header ${ARGN})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  knobwise_include(${target} ${root})
endfunction()

function(knobwise_include target dir)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${dir})
  else()
    target_include_directories(${target} PUBLIC ${dir})
  endif()
endfunction()
