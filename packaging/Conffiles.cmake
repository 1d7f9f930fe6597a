# Run by CPack once the files are staged: lists every staged file under /etc
# in the control file conffiles, so dpkg keeps the administrator's changes and
# purge removes them.
file(GLOB_RECURSE etc_files LIST_DIRECTORIES false RELATIVE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}"
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/etc/*")
list(SORT etc_files)
list(TRANSFORM etc_files PREPEND "/")
list(JOIN etc_files "\n" text)
message(STATUS "conffiles: ${etc_files} (from ${CPACK_TEMPORARY_INSTALL_DIRECTORY})")
file(WRITE "${CPACK_PERIPHD_CONFFILES}" "${text}\n")
