# Run by cpack after it has built the packages (see Packaging.cmake), to
# finish each one as Debian's own tools would:
# - the compiler's identification (.comment) and the .note section are
#   removed from every program and library, as dh_strip does (CPack's strip
#   keeps them), and the md5sums file is written again;
# - CPack gives any package with a library in /usr/lib postinst and postrm
#   scripts that run ldconfig; the library packages' ldconfig trigger does
#   the same without a script, so those scripts go. Scripts of our own (the
#   controller's postrm) stay.
find_program(VRX_OBJCOPY objcopy REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/finish)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      file(READ ${tree}/DEBIAN/${script} text)
      if(text MATCHES "ldconfig")
        file(REMOVE ${tree}/DEBIAN/${script})
      endif()
    endif()
  endforeach()
  file(GLOB_RECURSE files LIST_DIRECTORIES FALSE RELATIVE ${tree} ${tree}/*)
  list(FILTER files EXCLUDE REGEX "^DEBIAN/")
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    if(IS_SYMLINK ${tree}/${file})
      continue()
    endif()
    file(READ ${tree}/${file} magic LIMIT 8 HEX)
    if(magic MATCHES "^7f454c46" OR magic STREQUAL "213c617263683e0a")  # ELF, or an ar archive
      execute_process(COMMAND ${VRX_OBJCOPY} -D --remove-section=.comment --remove-section=.note
                              ${tree}/${file} COMMAND_ERROR_IS_FATAL ANY)
    endif()
    file(MD5 ${tree}/${file} sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE ${tree}/DEBIAN/md5sums "${sums}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
