# The version resource of a Windows program, written from the project's version so that
# Explorer's properties and Apps & features never disagree with `vlt --version`.
#
#   vlt_version_resource(TARGET DESCRIPTION [ICON FILE.ico])
#
# ICON adds FILE.ico as the program's first icon, the one Explorer shows, for a program
# whose own .rc has none.
set(VLT_PUBLISHER "Veltrimax maintainers")

function(vlt_version_resource target description)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" ICON "")
    set(VLT_RC_NAME ${target})
    set(VLT_RC_DESCRIPTION "${description}")
    set(VLT_RC_ICON "")
    if(arg_ICON)
        set(VLT_RC_ICON "1 ICON \"${arg_ICON}\"")
        set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc APPEND
            PROPERTY OBJECT_DEPENDS ${arg_ICON})
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
        ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
