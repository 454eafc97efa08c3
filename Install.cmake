# Where `cmake --install` (and `make install`, `make package`) put the programs and the files a
# Linux desktop looks for: the menu entry, the software centre's metainfo, the theme icons and
# the manual pages.
include(GNUInstallDirs)

install(TARGETS quiltwright quiltwright-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quiltwright-embedded LIBRARY DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quiltwright)
install(FILES data/${QW_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${QW_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
# Manual pages and the changelog compressed as Debian has them (gzip -9n: no name, no time, so
# the same sources give the same bytes); the licence as a machine-readable copyright file.
set(QW_COMPRESSED)
foreach(source data/man/quiltwright.1 data/man/quiltwright-batch.1 data/debian/changelog)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/compressed
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${CMAKE_CURRENT_SOURCE_DIR}/${source} ${compressed}
    DEPENDS ${source} VERBATIM)
  list(APPEND QW_COMPRESSED ${compressed})
endforeach()
add_custom_target(qw_compressed ALL DEPENDS ${QW_COMPRESSED})
install(FILES ${CMAKE_BINARY_DIR}/compressed/quiltwright.1.gz ${CMAKE_BINARY_DIR}/compressed/quiltwright-batch.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/compressed/changelog.gz data/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quiltwright)

# A Debian package: `make package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quiltwright)
set(CPACK_PACKAGE_VENDOR Kestrune)
set(CPACK_PACKAGE_CONTACT "Kestrune Quiltwright maintainers <maintainers@kestrune.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kestrune Quiltwright makes sprite sheets and contact sheets from a folder of
bitmaps: it lists every BMP file below a folder, paints each into a cell of a
grid at most 640 pixels wide (optionally dropping each sprite onto its cell's
floor) and saves the sheet as Combined.bmp. The package holds the window,
quiltwright, and its command-line companion, quiltwright-batch.")
include(CPack)
