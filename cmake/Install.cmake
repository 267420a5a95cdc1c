# Installed layout (relative to the prefix):
#   bin/zkQuoteForge
#   share/zkQuoteForge/examples/   the example configuration, charts and web page
#   share/doc/zkQuoteForge/        README, configuration reference and its gallery
#   lib/systemd/system/            the service unit
# and the Debian package made from it by "cpack -G DEB".

set(ZK_EXAMPLES_DIR share/zkQuoteForge/examples)
set(ZK_DOC_DIR share/doc/zkQuoteForge)
set(ZK_UNIT_DIR lib/systemd/system)

if(TARGET zkQuoteForge)
  install(TARGETS zkQuoteForge RUNTIME DESTINATION bin)
endif()
install(FILES examples/zkQuoteForge.ini examples/index.html DESTINATION ${ZK_EXAMPLES_DIR})
install(DIRECTORY examples/charts/ DESTINATION ${ZK_EXAMPLES_DIR}/charts FILES_MATCHING PATTERN "*.ini")
install(FILES README.md docs/configuration.md DESTINATION ${ZK_DOC_DIR})
install(DIRECTORY docs/gallery/ DESTINATION ${ZK_DOC_DIR}/gallery FILES_MATCHING PATTERN "*.png")

# The unit names the program by its installed path, which is known only at
# install time ("cmake --install --prefix", cpack's staging prefix).
install(CODE "
  set(ZK_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/bin\")
  set(ZK_DOC_DIR \"\${CMAKE_INSTALL_PREFIX}/${ZK_DOC_DIR}\")
  set(unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ZK_UNIT_DIR}/zkquoteforge.service\")
  message(STATUS \"Installing: \${unit}\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/packaging/zkquoteforge.service.in\" \"\${unit}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")
")

# Debian package. Depends: the shared libraries the program links (found by
# dpkg-shlibdeps), plus libcurl, which the program loads only when an update
# address is used, and a font package (the charts' text needs a face).
set(CPACK_PACKAGE_NAME zkquoteforge)
set(CPACK_PACKAGE_VENDOR zkQuoteForge)
set(CPACK_PACKAGE_CONTACT "zkQuoteForge maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Unattended stock-index chart builder (GIF and PNG)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, fonts-liberation2 | fonts-dejavu-core, fontconfig")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Unattended stock-index chart builder
 A console service that refreshes index data on a timer and writes charts as
 GIF and PNG files, replaced atomically for a web server to publish.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
