# Desktop integration (menu entry, icons, software-centre listing, man page)
# and the Debian package. `cmake --build build --target package` or
# scripts/build-deb makes ostrell_<version>_<arch>.deb.

set(ostrell_data "${PROJECT_SOURCE_DIR}/data")
set(ostrell_icon_svg "${ostrell_data}/icons/${OSTRELL_APP_ID}.svg")

install(FILES "${ostrell_data}/${OSTRELL_APP_ID}.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${ostrell_data}/${OSTRELL_APP_ID}.metainfo.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES "${ostrell_icon_svg}"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES "${ostrell_data}/copyright"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrell)

# Bitmap icons for desktops that do not scale the SVG themselves, drawn from
# the one SVG so they never drift from it.
find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert is missing (package librsvg2-bin; scripts/install-deps installs it)")
endif()
set(ostrell_icon_pngs "")
foreach(size 48 128 256)
    set(png "${CMAKE_BINARY_DIR}/icons/${size}x${size}/${OSTRELL_APP_ID}.png")
    add_custom_command(OUTPUT "${png}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/icons/${size}x${size}"
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o "${png}" "${ostrell_icon_svg}"
        DEPENDS "${ostrell_icon_svg}"
        VERBATIM)
    list(APPEND ostrell_icon_pngs "${png}")
    install(FILES "${png}" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian keeps its manual pages compressed.
set(ostrell_man "${CMAKE_BINARY_DIR}/man/ostrell.1")
add_custom_command(OUTPUT "${ostrell_man}.gz"
    COMMAND ${CMAKE_COMMAND} -E copy "${ostrell_data}/ostrell.1" "${ostrell_man}"
    COMMAND gzip -9nf "${ostrell_man}"
    DEPENDS "${ostrell_data}/ostrell.1"
    VERBATIM)
install(FILES "${ostrell_man}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# A native package carries its history as changelog.gz, compressed without a
# name or time stamp so that the same source packs to the same bytes. Its top
# entry is the version being built.
file(STRINGS "${ostrell_data}/changelog" ostrell_changelog_top LIMIT_COUNT 1)
if(NOT ostrell_changelog_top MATCHES "^ostrell \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "data/changelog begins with '${ostrell_changelog_top}', not version ${PROJECT_VERSION}")
endif()
set(ostrell_changelog "${CMAKE_BINARY_DIR}/doc/changelog")
add_custom_command(OUTPUT "${ostrell_changelog}.gz"
    COMMAND ${CMAKE_COMMAND} -E copy "${ostrell_data}/changelog" "${ostrell_changelog}"
    COMMAND gzip -9nf "${ostrell_changelog}"
    DEPENDS "${ostrell_data}/changelog"
    VERBATIM)
install(FILES "${ostrell_changelog}.gz" DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrell)

add_custom_target(ostrell_desktop_data ALL
    DEPENDS ${ostrell_icon_pngs} "${ostrell_man}.gz" "${ostrell_changelog}.gz")

# Relocations resolved and made read-only before the program starts, as in
# Debian's own packages.
target_link_options(ostrell PRIVATE LINKER:-z,relro,-z,now)

# The package installs under /usr whatever prefix the build was configured
# with; the program finds its data relative to itself.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_PACKAGE_CONTACT "Ostrell maintainers <${OSTRELL_SUPPORT_ADDRESS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write one metadata tag into copies of many JPEG pictures")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrell lists JPEG pictures (one by one, whole folder trees, drag and drop),
lets you pick one of thirteen tags and type its value, and writes a tagged
copy of every picture into a results folder through ExifTool. The sources are
never changed, every copy is verified before it gets its name, and a run
started again into the same folder finishes the rest.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ostrell.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time needs the linker cannot see: the tool that writes the tags, and
# the Qt plugins that draw the SVG icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libimage-exiftool-perl, libqt6svg6")
# The window asks for Arial; Liberation Sans stands in with the same metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
