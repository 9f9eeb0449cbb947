# What the cross build takes from the build machine, which the find root of the
# toolchain file hides.

# CLI11 is header-only, so the build machine's copy serves. Its own CMake
# package would put all of /usr/include on the include path, whose glibc
# headers would shadow mingw-w64's: CLI11::CLI11 gets a folder holding CLI/ alone.
find_path(VLT_CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(vlt_cli11 ${CMAKE_BINARY_DIR}/cli11)
file(MAKE_DIRECTORY ${vlt_cli11}/include)
file(CREATE_LINK ${VLT_CLI11_INCLUDE_DIR}/CLI ${vlt_cli11}/include/CLI SYMBOLIC)
file(WRITE ${vlt_cli11}/CLI11Config.cmake "\
if(NOT TARGET CLI11::CLI11)
    add_library(CLI11::CLI11 INTERFACE IMPORTED)
    set_target_properties(CLI11::CLI11 PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES \"${vlt_cli11}/include\")
endif()
")
set(CLI11_DIR ${vlt_cli11} CACHE PATH "The cross build's CLI11 package" FORCE)
