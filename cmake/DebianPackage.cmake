# `cpack -G DEB` in the build folder (scripts/package does it) makes one
# Debian package of everything `cmake --install` installs, under /usr.
# Configure with -DCMAKE_INSTALL_PREFIX=/usr, so that the install paths are
# Debian's (libraries in lib/<multiarch>).
set(CPACK_PACKAGE_NAME veltrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "veltrix developers <veltrix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "rule database dump tool, the fpta table engine and its Python module")
set(CPACK_PACKAGE_DESCRIPTION
  "veltrix prints which rules of a LevelDB rule database are enabled, as one JSON object. libfpta is a transactional table engine on LMDB with a C interface (header, pkg-config file and CMake package included); _morvane makes that interface callable from Python 3.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debug information stays in the build, as Debian's packages ship stripped binaries.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the binaries link come from dpkg-shlibdeps. The module also
# needs cffi's runtime, which it imports rather than links, and the Python
# minor version whose ABI it was compiled for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
math(EXPR python_next_minor "${Python3_VERSION_MINOR} + 1")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "python3-cffi-backend, python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${python_next_minor})")
include(CPack)
