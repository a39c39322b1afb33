# Installing and packaging: the three programs, the factory calibration, the
# desktop entries, icons, AppStream metainfo, man pages, bash completion and
# the Debian documents, and a .deb made by CPack (`make package`).
include(GNUInstallDirs)

set(packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(generated_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated_dir})

install(TARGETS veloquin veloquin-lite veloquin-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELOQUIN_FACTORY_CALIBRATION} DESTINATION ${CMAKE_INSTALL_DATADIR}/veloquin)
install(FILES ${packaging_dir}/veloquin.desktop ${packaging_dir}/veloquin-lite.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${packaging_dir}/org.veloquin.Veloquin.metainfo.xml.in
  ${generated_dir}/org.veloquin.Veloquin.metainfo.xml @ONLY)
install(FILES ${generated_dir}/org.veloquin.Veloquin.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_dir}/veloquin-tool.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME veloquin-tool)

# Icons: the SVG as it stands, and PNGs rendered from it for the sizes that
# menus and software centres ask for.
set(icon_svg ${PROJECT_SOURCE_DIR}/resources/veloquin.svg)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
  message(WARNING "rsvg-convert (librsvg2-bin) not found: no PNG icons; scripts/deps.sh installs it")
else()
  set(icon_pngs)
  foreach(size 48 128 256)
    set(png ${generated_dir}/icons/${size}x${size}/veloquin.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${generated_dir}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${icon_svg}
      DEPENDS ${icon_svg}
      VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(icons ALL DEPENDS ${icon_pngs})
endif()

# Man pages and the changelog go in compressed, without a time stamp, so the
# package is the same byte for byte from one build to the next.
set(compressed)
foreach(page veloquin veloquin-lite veloquin-tool)
  set(gz ${generated_dir}/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND gzip -9n -c ${packaging_dir}/man/${page}.1 > ${gz}
    DEPENDS ${packaging_dir}/man/${page}.1)
  list(APPEND compressed ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${packaging_dir}/changelog.in ${generated_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${generated_dir}/changelog.gz
  COMMAND gzip -9n -c ${generated_dir}/changelog > ${generated_dir}/changelog.gz
  DEPENDS ${generated_dir}/changelog)
list(APPEND compressed ${generated_dir}/changelog.gz)
add_custom_target(packaging_documents ALL DEPENDS ${compressed})
install(FILES ${generated_dir}/changelog.gz ${packaging_dir}/copyright ${packaging_dir}/README.Debian
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veloquin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Veloquin")
set(CPACK_PACKAGE_CONTACT "Veloquin maintainers <maintainers@veloquin.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure and data-log a MAF emulator and boost controller")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Veloquin talks to an in-car MAF emulator and boost controller over a serial"
  "line at 115200 baud. It downloads the device's calibration when it connects,"
  "uploads every change within a second, shows live values and a gauge"
  "dashboard, records and views data logs, refines maps and updates the"
  "device's firmware."
  "."
  "The package holds veloquin, veloquin-lite (without the AFR protect page),"
  "the command-line companion veloquin-tool and a factory calibration for a"
  "first start.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
