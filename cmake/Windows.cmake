# The Windows build: a MinGW-w64 cross-build whose programs run under Wine.
enable_language(RC)
# Exiv2 for MinGW comes with its CMake package (its pkg-config file names the
# prefix it was built in, not where it was unpacked).
find_package(exiv2 CONFIG REQUIRED)
target_link_libraries(ostrell_exiv2 INTERFACE exiv2lib)

set(OSTRELL_EXIFTOOL_DIR "" CACHE PATH "Folder holding exiftool.exe and exiftool_files for Windows")
set(OSTRELL_EXIFTOOL_VERSION "" CACHE STRING "Version of the ExifTool for Windows shipped")
if(NOT EXISTS "${OSTRELL_EXIFTOOL_DIR}/exiftool.exe")
    message(FATAL_ERROR "No exiftool.exe in OSTRELL_EXIFTOOL_DIR ('${OSTRELL_EXIFTOOL_DIR}'); scripts/build-windows fetches it")
endif()

# Where the DLLs are: Qt's and Exiv2's prefixes and MinGW's runtime.
get_target_property(ostrell_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(OSTRELL_QT_BIN "${ostrell_qtcore_dll}" DIRECTORY)
get_filename_component(OSTRELL_QT_PLUGINS "${OSTRELL_QT_BIN}/../plugins" ABSOLUTE)
get_target_property(ostrell_exiv2_dll exiv2lib IMPORTED_LOCATION_RELEASE)
get_filename_component(OSTRELL_EXIV2_BIN "${ostrell_exiv2_dll}" DIRECTORY)
set(OSTRELL_MINGW_RUNTIME "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        message(FATAL_ERROR "MinGW's ${dll} was not found")
    endif()
    get_filename_component(found "${found}" REALPATH)
    list(APPEND OSTRELL_MINGW_RUNTIME "${found}")
endforeach()

# Wine sees the Linux root as drive Z:.
function(ostrell_wine_path out path)
    string(REPLACE "/" "\\" windows "${path}")
    set(${out} "Z:${windows}" PARENT_SCOPE)
endfunction()
set(wine_folders "")
set(runtime_folders ${OSTRELL_QT_BIN} ${OSTRELL_EXIV2_BIN} ${OSTRELL_EXIFTOOL_DIR})
foreach(dll ${OSTRELL_MINGW_RUNTIME})
    get_filename_component(folder "${dll}" DIRECTORY)
    list(APPEND runtime_folders "${folder}")
endforeach()
list(REMOVE_DUPLICATES runtime_folders)
foreach(folder ${runtime_folders})
    ostrell_wine_path(windows "${folder}")
    list(APPEND wine_folders "${windows}")
endforeach()
string(REPLACE ";" "\\;" OSTRELL_WINEPATH "${wine_folders}")
set(OSTRELL_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Every program built from here runs under Wine when CTest or CMake runs it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
