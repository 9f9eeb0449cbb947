# Run by CPack on its staging tree before it builds the package: Debian ships manual pages
# compressed with gzip -9n (no name or time stamp, so the package is reproducible).
file(GLOB_RECURSE man_pages
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS man_pages)
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
