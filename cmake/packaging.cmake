# Installation and the Debian package. `cmake --install` puts the programs in
# bin, the init script for the board's BusyBox init in etc/init.d and the
# systemd unit in lib/systemd/system (and on a PC the board's stand-ins,
# platform/CMakeLists.txt); `cpack -G DEB` packs what it installs for the
# architecture of the build: amd64 on a PC, armel from the ARMv5 toolchain,
# which names it (CPACK_DEBIAN_PACKAGE_ARCHITECTURE).

# A board's root file system and a Debian system keep programs in /usr and
# settings in /etc, as Buildroot's and Yocto's CMake builds install them.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install path prefix" FORCE)
endif()
# Only now: the prefix /usr makes the settings folder /etc, not /usr/etc.
include(GNUInstallDirs)

set(DRAVEL_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
configure_file(packaging/S90dravel.in packaging/S90dravel @ONLY)
configure_file(packaging/dravel.service.in packaging/dravel.service @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/S90dravel
  DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/init.d)
install(FILES ${CMAKE_BINARY_DIR}/packaging/dravel.service DESTINATION lib/systemd/system)
# The archive keeper, daily.
if(TARGET archive-keeper)
  configure_file(packaging/dravel-archive.service.in packaging/dravel-archive.service @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/dravel-archive.service
                ${CMAKE_SOURCE_DIR}/packaging/dravel-archive.timer DESTINATION lib/systemd/system)
endif()
if(TARGET dravel-web)
  install(FILES packaging/httpd.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dravel/examples)
endif()

set(DRAVEL_PACKAGE_MAINTAINER "dravel maintainers <maintainers@dravel.invalid>" CACHE STRING
  "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME dravel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "licence-plate barrier service of a car-park camera")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Reads the car numbers that the camera's recognition engine finds, decides\n"
  "from the access base whether the barrier opens, and keeps the occupancy and\n"
  "pass journals and the snapshot archive. With the operator tools accessbase,\n"
  "journal-reader, shmgr-dump and archive-keeper (run daily by a systemd timer)\n"
  "where they are built, and the operator's page dravel-web, a CGI program for\n"
  "the board's web server.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DRAVEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The init script lands where the build prefix says, and the programs it
# starts with it: the package keeps the build's prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# The C and C++ run-time libraries, and libjpeg where it is linked as a
# shared library (the board's build links it in).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
if(NOT JPEG_LIBRARIES MATCHES "\\.a(;|$)")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libjpeg62-turbo")
endif()
# An edited init script survives an upgrade.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles
  "${CMAKE_INSTALL_FULL_SYSCONFDIR}/init.d/S90dravel\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
include(CPack)

# A sanitizer build is no package to ship: its programs load the sanitizers.
if(NOT CMAKE_CROSSCOMPILING AND NOT DRAVEL_FUZZ AND NOT DRAVEL_SANITIZE)
  add_test(NAME init_script
    COMMAND sh ${CMAKE_SOURCE_DIR}/tests/packaging/init_script.sh
            ${CMAKE_BINARY_DIR}/packaging/S90dravel ${CMAKE_BINARY_DIR}/tests/tmp/init_script)
  set_tests_properties(init_script PROPERTIES LABELS unit)
  # What the package must hold beyond what it shares with `cmake --install`.
  set(expected ${CMAKE_INSTALL_FULL_SYSCONFDIR}/init.d/S90dravel
               ${CMAKE_INSTALL_PREFIX}/lib/systemd/system/dravel.service)
  foreach(program dravel accessbase journal-reader shmgr-dump archive-keeper dravel-web statemgrd
                  stmgrclient)
    if(TARGET ${program})
      list(APPEND expected ${CMAKE_INSTALL_FULL_BINDIR}/${program})
    endif()
  endforeach()
  if(TARGET archive-keeper)
    list(APPEND expected ${CMAKE_INSTALL_PREFIX}/lib/systemd/system/dravel-archive.service
                         ${CMAKE_INSTALL_PREFIX}/lib/systemd/system/dravel-archive.timer)
  endif()
  # Against a board SDK the board's libraries come with the board, not with
  # this package, so its list is checked on the stand-ins' build only, whose
  # package holds the stand-ins the service loads.
  if(NOT DRAVEL_BOARD_SDK)
    foreach(library brisvale-lpr.so shmgr-connect.so.0 camera-fake.so)
      list(APPEND expected ${CMAKE_INSTALL_PREFIX}/lib/lib${library})
    endforeach()
    add_test(NAME package
      COMMAND sh ${CMAKE_SOURCE_DIR}/tests/packaging/deb_package.sh
              ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/tests/tmp/package ${expected})
    # cpack builds the whole package.
    set_tests_properties(package PROPERTIES LABELS slow)
  endif()
endif()
