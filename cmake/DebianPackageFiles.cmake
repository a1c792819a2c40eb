# CPack pre-build script of the Debian package: runs on the staged install tree before the
# package is made (see scripts/debian-package-files.sh).
execute_process(
  COMMAND ${CPACK_CARCONV_SOURCE_DIR}/scripts/debian-package-files.sh
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}"
    ${CPACK_CARCONV_SOURCE_DIR} ${CPACK_PACKAGE_VERSION} "${CPACK_DEBIAN_PACKAGE_MAINTAINER}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Debian package files could not be made")
endif()
