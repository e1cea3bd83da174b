# Packages made by CPack: a .deb on Linux (cpack -G DEB), a zip of the
# programs on Windows (cpack -G ZIP in the mingw build). The version is
# project(VERSION)'s.
set(CPACK_PACKAGE_NAME calibrate)
set(CPACK_PACKAGE_VENDOR "Calibrate")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reads the calibration data of flow meters")
set(CPACK_PACKAGE_CONTACT "Calibrate maintainers <calibrate@example.org>")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME calibrate-${PROJECT_VERSION}-windows-x64)
  # One folder, the settings beside the programs: a portable copy.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/README-windows.txt DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME README.txt)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Qt's own dialogs in Russian come from Qt's translations, which no library
  # dependency pulls in.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/calibrate")
  # The description: English, then the same in Russian.
  # The long description under the summary: English, then the same in Russian.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Calibrate reads the calibration data of ZFK-31, ZFK-36, GDZ-12.07S and
GDZ-12.08 flow meters over a serial line (RS-232 or RS-485): serial number,
calibration coefficients K0 and Ku, the calibration record and the reference
firmware data. It has a window (calibrate), a command line (calibrate-cli)
and a virtual meter for trying it without hardware (calibrate-metersim).
.
Calibrate читает калибровочные данные расходомеров ZFK-31, ZFK-36,
GDZ-12.07S и GDZ-12.08 по последовательной линии (RS-232 или RS-485):
серийный номер, калибровочные коэффициенты K0 и Ku, запись о калибровке и
эталонные данные прошивки. Окно (calibrate), командная строка
(calibrate-cli) и виртуальный прибор (calibrate-metersim).")
  # A native package's changelog, compressed as Debian wants it (no name or
  # time stamp inside, so rebuilds are identical).
  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/debian/changelog
                  OUTPUT_FILE ${changelog} COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/debian/calibrate.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME calibrate)
endif()
include(CPack)
