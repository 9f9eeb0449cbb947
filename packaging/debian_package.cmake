# CPack settings for the Debian package: `cpack -G DEB` in the build directory.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrimax)
set(CPACK_PACKAGE_VENDOR "Veltrimax")
set(CPACK_PACKAGE_CONTACT "Veltrimax maintainers <support@veltrimax.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long part.
set(package_about "Veltrimax encrypts one file at a time with a typed primary key into a .vlt
file and decrypts such files again.")
if(VLT_BUILD_GUI)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${package_about} The package holds the desktop program
veltrimax, with its menu entry, icon and file type, and the command-line
tool vlt, which reads and writes the same .vlt files.")
else()
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${package_about} The package holds the command-line
tool vlt and the file type of .vlt files.")
endif()
# Library dependencies (Qt, the C++ runtime) come from dpkg-shlibdeps on the installed programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
    ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compress_man_pages.cmake)

include(CPack)
