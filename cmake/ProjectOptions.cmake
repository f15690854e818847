# Compiler flags every target of the project shares, applied per target with
# vrx_target_options() so nothing of this leaks into programs that link the
# installed libraries.

function(vrx_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wformat=2 -Wno-format-nonliteral
    $<$<BOOL:${VRX_WERROR}>:-Werror>
    # Trace records name their source file; keep the build machine's paths out.
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
endfunction()

# A library of the product, compiled once with every name hidden but those
# its public headers declare (they say so with a visibility pragma), and
# linked two ways: NAME (vrxagent::NAME), static, and NAME_shared,
# lib<NAME>.so.1, whose version script (NAME.map beside the sources)
# exports only the public names, under the library's version nodes. The
# public headers (include/ beside the sources, installed in
# include/vrxagent) go with all three.
function(vrx_add_library name)
  add_library(${name}_objects OBJECT ${ARGN})
  set_target_properties(${name}_objects PROPERTIES C_VISIBILITY_PRESET hidden
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  vrx_target_options(${name}_objects)
  add_library(${name} STATIC $<TARGET_OBJECTS:${name}_objects>)
  add_library(${name}_shared SHARED $<TARGET_OBJECTS:${name}_objects>)
  set(map ${CMAKE_CURRENT_SOURCE_DIR}/${name}.map)
  set_target_properties(${name}_shared PROPERTIES OUTPUT_NAME ${name} SOVERSION 1 VERSION 1.0.0
                        LINK_DEPENDS ${map})
  target_link_options(${name}_shared PRIVATE -Wl,--no-undefined -Wl,--version-script=${map})
  add_library(vrxagent::${name} ALIAS ${name})
  foreach(target ${name}_objects ${name} ${name}_shared)
    target_include_directories(${target} PUBLIC
      $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vrxagent>)
  endforeach()
endfunction()

# Sanitizers apply to everything built, tests and third-party code included.
if(VRX_SANITIZE)
  list(JOIN VRX_SANITIZE "," _vrx_san)
  add_compile_options(-fsanitize=${_vrx_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  list(REMOVE_ITEM VRX_SANITIZE fuzzer-no-link)
  list(JOIN VRX_SANITIZE "," _vrx_san_link)
  add_link_options(-fsanitize=${_vrx_san_link})
endif()

# Hardening, as Debian builds its packages (dpkg-buildflags with
# hardening=+all): the stack protector, fortified C library calls (they need
# the optimiser, and the sanitizers check the same and more), relocations
# read-only and bound at start, position-independent executables. Applied
# to every target of every build, so the tests run what the package ships.
include(CheckPIESupported)
check_pie_supported()
add_compile_options(-fstack-protector-strong)
if(NOT VRX_SANITIZE)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
