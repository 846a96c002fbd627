# Debian packages (make package, or cpack in the build tree):
#   libafshost0        the plug-in and libafshost.so.0, the docs
#   libafshost-dev     host-facing headers, CMake package, pkg-config file, example
#   afs-tools          afs-scan, afs-sim and their man pages
# plus a -dbgsym package of each one's debug information. Dependencies on the
# Debian libraries come from dpkg-shlibdeps.
set(AFS_PACKAGE_MAINTAINER "NutanixAFSManager maintainers <afs-maintainers@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")
# The date of the newest entry in CHANGELOG.md.
set(AFS_DEB_DATE "Tue, 08 Dec 2026 00:00:00 +0000")
set(AFS_DEB_RUNTIME libafshost${AFS_HOST_SOVERSION})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR "The NutanixAFSManager developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${AFS_PACKAGE_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# afs-scan needs libafshost.so.0 from the runtime package, which is not
# installed while packaging; the component dependency below covers it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/host)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${AFS_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# libafshost.so.0 refreshes the loader cache through the ldconfig trigger, as
# Debian asks, instead of the ldconfig calls CPack writes into scripts.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/debian/drop-ldconfig-scripts.cmake)
# Each description's first line is the package's synopsis.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "backup plug-in for Nutanix Files and its host services
libNutanixAFSManager.so, the plug-in a backup host loads to back up the
SMB and NFS shares of a Nutanix Files server from consistent snapshots,
with incremental jobs fed from the server's snapshot differences; and
libafshost.so.0, the host services the plug-in runs on.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libafshost-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libboost-dev (>= ${Boost_VERSION_MAJOR}.${Boost_VERSION_MINOR})")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION "build a backup host for the Nutanix Files plug-in
The headers of the plug-in interface and the host services, the CMake
package AfsHost, the pkg-config file afshost.pc and a minimal example
host, for backup products that load libNutanixAFSManager.so.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME afs-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "reference backup host and file-server simulator for Nutanix Files
afs-scan runs backup scan jobs through the NutanixAFSManager plug-in and
stores the changed items in a SQLite scan database; afs-sim serves the
file server's REST API on a local folder of shares for tests and demos.")

# Debian wants a copyright file and a changelog in /usr/share/doc/PACKAGE of
# every package; a plain install does not need them.
configure_file(debian/changelog.in debian/changelog @ONLY)
add_custom_command(OUTPUT debian/changelog.gz
                   COMMAND gzip -9nc debian/changelog > debian/changelog.gz
                   DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(afs-debian-changelog ALL DEPENDS debian/changelog.gz)
foreach(component IN ITEMS runtime dev tools)
  string(TOUPPER ${component} upper)
  install(FILES debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
