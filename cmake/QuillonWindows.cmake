# What makes quillon.exe and quillon-cli.exe Windows programs of their own: the icon, the version
# information and the manifest, compiled by the resource compiler (windres with mingw-w64).
enable_language(RC)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(quillon_windows_dir ${PROJECT_SOURCE_DIR}/packaging/windows)
set(QUILLON_ICON ${PROJECT_BINARY_DIR}/quillon.ico)
# The icon from the pictures of the desktop icon, the sizes Windows' shell asks for.
set(quillon_icon_pngs)
foreach(size 16 24 32 48 64 256)
    list(APPEND quillon_icon_pngs ${PROJECT_SOURCE_DIR}/packaging/icons/${size}x${size}/apps/org.quillon.Quillon.png)
endforeach()
add_custom_command(OUTPUT ${QUILLON_ICON}
                   COMMAND Python3::Interpreter ${quillon_windows_dir}/make_ico.py ${QUILLON_ICON} ${quillon_icon_pngs}
                   DEPENDS ${quillon_windows_dir}/make_ico.py ${quillon_icon_pngs}
                   COMMENT "The Windows icon quillon.ico")
add_custom_target(quillon_icon DEPENDS ${QUILLON_ICON})

# 2.002 is 2.2.0.0 in the numeric version fields.
math(EXPR quillon_minor "${PROJECT_VERSION_MINOR} + 0")
set(QUILLON_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${quillon_minor}.0.0")
set(QUILLON_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${quillon_minor},0,0")
set(QUILLON_MANIFEST ${PROJECT_BINARY_DIR}/quillon.manifest)
configure_file(${quillon_windows_dir}/quillon.manifest.in ${QUILLON_MANIFEST} @ONLY)

# Adds the resources to an executable target; description is its FileDescription.
function(quillon_windows_resources target description)
    set(QUILLON_RC_NAME ${target})
    set(QUILLON_RC_FILE ${target}.exe)
    set(QUILLON_RC_DESCRIPTION "${description}")
    set(QUILLON_RC_ICON ${QUILLON_ICON})
    set(QUILLON_RC_MANIFEST ${QUILLON_MANIFEST})
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    configure_file(${quillon_windows_dir}/quillon.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    # windres reports no dependencies: the icon and the manifest are named here.
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${QUILLON_ICON};${QUILLON_MANIFEST}")
    add_dependencies(${target} quillon_icon)
endfunction()
