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
