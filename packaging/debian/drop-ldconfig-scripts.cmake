# Run by CPack once the packages are made (CPACK_POST_BUILD_SCRIPTS). CPack
# gives the runtime package a postinst and a postrm that only call ldconfig;
# Debian wants that done by the ldconfig trigger the package declares, so
# both scripts are taken out again.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "/libafshost[0-9]+_[^/]*\\.deb$")
    set(tree "${package}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
    execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${package}" OUTPUT_QUIET
                    COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
  endif()
endforeach()
