# Run by CPack on the staged files before it builds the Debian package: adds what only the
# package needs (lintian's overrides), so that a plain install into a prefix stays free of it.
set(_dir ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides)
file(MAKE_DIRECTORY ${_dir})
file(COPY_FILE ${CPACK_TESR_PACKAGING_DIR}/lintian-overrides ${_dir}/${CPACK_PACKAGE_NAME})
