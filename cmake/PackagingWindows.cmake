# The Windows packages: an NSIS installer and a portable zip, both holding the
# program folder as it runs: the program, the Qt, Exiv2 and MinGW libraries
# it loads, the Qt plugins it uses, ExifTool for Windows beside it (found
# there before PATH), the samples and the licences of everything shipped.
install(TARGETS ostrell RUNTIME DESTINATION .)
foreach(module Core Gui Widgets Concurrent)
    install(FILES "${OSTRELL_QT_BIN}/Qt6${module}.dll" DESTINATION .)
endforeach()
install(FILES "${OSTRELL_QT_PLUGINS}/platforms/qwindows.dll" DESTINATION platforms)
# Thumbnails and pictures are JPEGs; the drag pointer and the icon are .ico.
install(FILES "${OSTRELL_QT_PLUGINS}/imageformats/qjpeg.dll" "${OSTRELL_QT_PLUGINS}/imageformats/qico.dll"
        DESTINATION imageformats)
install(FILES "${OSTRELL_QT_PLUGINS}/styles/qwindowsvistastyle.dll" DESTINATION styles)
install(FILES "${OSTRELL_EXIV2_BIN}/libexiv2.dll" "${OSTRELL_EXIV2_BIN}/libexpat-1.dll" "${OSTRELL_EXIV2_BIN}/zlib1.dll"
        DESTINATION .)
install(FILES ${OSTRELL_MINGW_RUNTIME} DESTINATION .)
install(PROGRAMS "${OSTRELL_EXIFTOOL_DIR}/exiftool.exe" DESTINATION .)
install(DIRECTORY "${OSTRELL_EXIFTOOL_DIR}/exiftool_files" DESTINATION .)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/app/Samples" DESTINATION .)

# Licences, named after what they cover; the Qt, Exiv2 and Expat shipped are
# built from Debian's sources, so Debian's statements of their terms hold.
set(licences "${CMAKE_BINARY_DIR}/licences")
set(common /usr/share/common-licenses)
set(ostrell_licence_files
    "${PROJECT_SOURCE_DIR}/data/copyright=Ostrell.txt"
    "/usr/share/doc/libqt6core6/copyright=Qt.txt"
    "${common}/LGPL-3=Qt-LGPL-3.txt"
    "${common}/GPL-3=Qt-GPL-3.txt"
    "/usr/share/doc/libexiv2-27/copyright=Exiv2.txt"
    "${common}/GPL-2=Exiv2-GPL-2.txt"
    "/usr/share/doc/libexpat1/copyright=Expat.txt"
    "/usr/share/doc/libz-mingw-w64/copyright=zlib.txt"
    "/usr/share/doc/gcc-mingw-w64-base/copyright=MinGW-GCC-runtime.txt"
    "/usr/share/doc/mingw-w64-common/copyright=MinGW-w64-winpthreads.txt"
    "${OSTRELL_EXIFTOOL_DIR}/LICENSE.txt=ExifTool.txt"
    "${common}/Artistic=ExifTool-Perl-Artistic.txt"
    "${common}/GPL-1=ExifTool-Perl-GPL-1.txt")
foreach(entry ${ostrell_licence_files})
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    if(NOT EXISTS "${from}")
        message(FATAL_ERROR "Licence text ${from} is missing")
    endif()
    configure_file("${from}" "${licences}/${to}" COPYONLY)
endforeach()
install(DIRECTORY "${licences}/" DESTINATION licences)

set(CPACK_PACKAGE_NAME Ostrell)
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write one metadata tag into copies of many JPEG pictures")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Ostrell)
set(CPACK_PACKAGE_EXECUTABLES ostrell Ostrell)
set(CPACK_RESOURCE_FILE_LICENSE "${licences}/Ostrell.txt")
set(CPACK_NSIS_DISPLAY_NAME Ostrell)
set(CPACK_NSIS_PACKAGE_NAME Ostrell)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME ostrell.exe)
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/data/icons/${OSTRELL_APP_ID}.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/data/icons/${OSTRELL_APP_ID}.ico")
set(CPACK_NSIS_UNINSTALL_NAME uninstall)
set(CPACK_NSIS_CONTACT "${OSTRELL_SUPPORT_ADDRESS}")
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: it writes the 64-bit registry
# view and Program Files, and runs where there is no 32-bit Windows layer.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# MinGW's runtime and the prefixes carry symbols the program does not need.
set(CPACK_STRIP_FILES ON)
# One file name per package kind, chosen when CPack runs each generator.
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/CPackWindowsNames.cmake")
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}"
"if(CPACK_GENERATOR STREQUAL \"NSIS\")
    set(CPACK_PACKAGE_FILE_NAME \"ostrell-${PROJECT_VERSION}-win64-setup\")
else()
    set(CPACK_PACKAGE_FILE_NAME \"ostrell-${PROJECT_VERSION}-win64-portable\")
endif()
")
set(CPACK_GENERATOR "NSIS;ZIP")
include(CPack)
