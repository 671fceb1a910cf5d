# Desktop integration on Linux and the Debian package built from it.
#   cmake --install installs the program, its desktop entry, the AppStream
#   metainfo, the hicolor icons (16 ... 256 pixels and SVG) and the manual page;
#   cpack -G DEB (make deb) packs the same files with a Debian changelog and
#   a machine-readable copyright file.
set(IMAGEBENCH_APP_ID io.github.imagebench.ImageBench)
set(IMAGEBENCH_MAINTAINER "${IMAGEBENCH_PUBLISHER} <maintainers@imagebench.org>")
set(IMAGEBENCH_DEB_RELEASE 1)
set(IMAGEBENCH_DEB_VERSION ${PROJECT_VERSION}-${IMAGEBENCH_DEB_RELEASE})
# The changelog's trailer wants the date in RFC 2822 form, at noon UTC.
string(REPLACE "-" ";" _date_parts ${IMAGEBENCH_RELEASE_DATE})
list(GET _date_parts 0 _year)
list(GET _date_parts 1 _month)
list(GET _date_parts 2 _day)
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR _month_index "${_month} - 1")
list(GET _months ${_month_index} _month_name)
execute_process(COMMAND date -u -d "${IMAGEBENCH_RELEASE_DATE} 12:00:00" +%a
                OUTPUT_VARIABLE _weekday OUTPUT_STRIP_TRAILING_WHITESPACE)
set(IMAGEBENCH_RELEASE_DATE_RFC2822 "${_weekday}, ${_day} ${_month_name} ${_year} 12:00:00 +0000")

set(_linux ${CMAKE_BINARY_DIR}/linux)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${IMAGEBENCH_APP_ID}.metainfo.xml.in
               ${_linux}/${IMAGEBENCH_APP_ID}.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/imagebench.1.in ${_linux}/imagebench.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in ${_linux}/changelog.Debian @ONLY)

# Manual page and changelog compressed as Debian wants them: gzip -9, without
# the name and time stamp, so that two builds give the same bytes.
set(_gzipped)
foreach(_file imagebench.1 changelog.Debian)
  add_custom_command(OUTPUT ${_linux}/${_file}.gz
    COMMAND gzip -9nc ${_linux}/${_file} > ${_linux}/${_file}.gz
    DEPENDS ${_linux}/${_file}
    VERBATIM)
  list(APPEND _gzipped ${_linux}/${_file}.gz)
endforeach()

# The theme icons, drawn by the tool that draws the Windows icon.
set(_icons ${_linux}/icons/hicolor)
set(_icon_files ${_icons}/scalable/apps/${IMAGEBENCH_APP_ID}.svg)
foreach(_size 16 24 32 48 64 128 256)
  list(APPEND _icon_files ${_icons}/${_size}x${_size}/apps/${IMAGEBENCH_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${_icon_files}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:make_icon> --theme ${CMAKE_SOURCE_DIR}/packaging/imagebench.xpm ${_icons} ${IMAGEBENCH_APP_ID}
  DEPENDS make_icon ${CMAKE_SOURCE_DIR}/packaging/imagebench.xpm
  COMMENT "Drawing the hicolor icons")
add_custom_target(linux_files ALL DEPENDS ${_gzipped} ${_icon_files})

install(FILES packaging/${IMAGEBENCH_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_linux}/${IMAGEBENCH_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${_icons} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${_linux}/imagebench.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/debian/copyright ${_linux}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/imagebench)
install(FILES packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME imagebench)

# The Debian package. Its libraries come from dpkg-shlibdeps; the image-format
# plugins are loaded at run time (TIFF and WebP), so no library names them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME imagebench)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${IMAGEBENCH_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small workbench for pictures: complement, threshold, edges, zoom")
set(CPACK_PACKAGE_DESCRIPTION "\
imagebench opens one picture (PNG, BMP, JPEG, GIF, TIFF, WebP and the other
kinds Qt reads) and changes it in place: every colour value complemented,
the picture turned into 8 bits per pixel through a palette of at most 256
colours (a colour picture keeps its colours, a grey one its grey levels),
edges found with a 3 x 3 Laplacian, or the picture mirrored. The view zooms
from 25 % to 200 %; the status bar shows the X and Y of the pixel under the
pointer and a label above the picture its value. A one-level Haar analysis
of a 512 x 512 sample shows four numbers. The changed picture
is saved in the kind its file name's extension names.")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${IMAGEBENCH_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-image-formats-plugins)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/DebStrip.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
