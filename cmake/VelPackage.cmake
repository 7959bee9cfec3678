# The Debian package of velpack (make package: cpack -G DEB over the release
# build): velpack in /usr/bin, the 32-bit product stub in /usr/share/velmar,
# where velpack make finds it without --stub, and the man page. Its version
# is the project's; dpkg-shlibdeps works out what it depends on.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmar Informatique")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "makes, inspects and binds payloads of the Velmar setup launcher")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "velpack packs a folder into the payload of the Velmar self-extracting\n\
installation launcher (a 32-bit Windows program, included), lists, tests\n\
and extracts payloads and setup executables, and binds payloads into the\n\
launcher, reproducibly; with osslsigncode it signs them with Authenticode.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmar Informatique")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
