# The install tree and the Debian package. The install tree is the build
# tree's: the executables with DefaultData/, skin/ and SDK/ beside them in
# lib/m470/, launchers in bin/; around them what a desktop expects: the udev
# rule, the desktop file, AppStream metadata, icons, manual pages.
# `cmake --install build --strip` and the package install stripped binaries.
include(GNUInstallDirs)
set(M470_HOMEPAGE https://github.com/m470/m470)
set(M470_CONTACT "The M470 developers <m470@example.org>")
set(M470_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(M470_PACKAGING_IN ${CMAKE_SOURCE_DIR}/packaging)
set(M470_DEBIAN_VERSION ${PROJECT_VERSION}-1)  # the release, Debian revision 1
# lib/m470, never the multiarch library folder: the program's own files,
# which the launchers in bin/ reach by a relative link.
set(M470_PRIVATE_DIR lib/m470)

m470_generate_metainfo(${CMAKE_SOURCE_DIR}/src/devices/Products.h
                       ${M470_PACKAGING_IN}/${M470_APP_ID}.metainfo.xml.in ${M470_PACKAGING_OUT}/${M470_APP_ID}.metainfo.xml)
m470_usb_ids(${CMAKE_SOURCE_DIR}/src/devices/Products.h M470_USB_IDS)
list(TRANSFORM M470_USB_IDS REPLACE ":[0-9]+$" "")
list(REMOVE_DUPLICATES M470_USB_IDS)
list(JOIN M470_USB_IDS " " M470_USB_IDS)
set(M470_SCRIPT_MODE FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${M470_PACKAGING_IN}/debian/postinst.in ${M470_PACKAGING_OUT}/debian/postinst @ONLY ${M470_SCRIPT_MODE})
configure_file(${M470_PACKAGING_IN}/debian/postrm ${M470_PACKAGING_OUT}/debian/postrm COPYONLY ${M470_SCRIPT_MODE})

# Manual pages and the Debian changelog, gzipped as Debian wants them
# (-n: no name or time stamp, so the same text gives the same file).
set(M470_GZIPPED "")
foreach(page IN ITEMS man/m470.1 man/m470ctl.1 debian/changelog)
  configure_file(${M470_PACKAGING_IN}/${page}.in ${M470_PACKAGING_OUT}/${page} @ONLY)
  add_custom_command(OUTPUT ${M470_PACKAGING_OUT}/${page}.gz
    COMMAND gzip -9nc ${M470_PACKAGING_OUT}/${page} > ${M470_PACKAGING_OUT}/${page}.gz
    DEPENDS ${M470_PACKAGING_OUT}/${page} VERBATIM)
  list(APPEND M470_GZIPPED ${M470_PACKAGING_OUT}/${page}.gz)
endforeach()
add_custom_target(m470_packaging_files ALL DEPENDS ${M470_GZIPPED})

install(TARGETS m470 m470-audiorecord m470ctl RUNTIME DESTINATION ${M470_PRIVATE_DIR})
install(TARGETS m470_osconf LIBRARY DESTINATION ${M470_PRIVATE_DIR}/SDK)
# The virtual headset's stand-in, so the installed `m470 --virtual` works too.
install(TARGETS m470_fake_osconf LIBRARY DESTINATION ${M470_PRIVATE_DIR}/SDK/virtual)
install(DIRECTORY DefaultData skin DESTINATION ${M470_PRIVATE_DIR})
foreach(program IN ITEMS m470 m470ctl)
  install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ../${M470_PRIVATE_DIR}/${program} \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)")
endforeach()
install(FILES ${M470_PACKAGING_IN}/m470ctl.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME m470ctl)
install(FILES ${M470_UDEV_RULE} DESTINATION lib/udev/rules.d)
install(FILES ${M470_PACKAGING_IN}/${M470_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${M470_PACKAGING_OUT}/${M470_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${M470_PACKAGING_IN}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${M470_PACKAGING_OUT}/man/m470.1.gz ${M470_PACKAGING_OUT}/man/m470ctl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${M470_PACKAGING_IN}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/m470)
install(FILES ${M470_PACKAGING_OUT}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/m470 RENAME changelog.Debian.gz)

# `make package` (cpack in build/): one Debian package, its dependencies
# computed from the binaries by dpkg-shlibdeps, and libcurl named here: the
# update service loads it (and the OpenSSL it brings) at run time, so no
# binary shows it. 7.85 is the first with the protocol lists we set.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME m470)
set(CPACK_PACKAGE_VENDOR "The M470 developers")
set(CPACK_PACKAGE_CONTACT "${M470_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration tool for M470 mice, keyboards, mousepads and headsets")
# Lines under 80 characters: the control file keeps them as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A desktop window and a command line (m470ctl) that read and change the"
  "settings of the M470 family of USB gaming peripherals: the mouse by cable or"
  "through its receiver, the keyboard, the lit mousepad and the USB headset."
  "Sensitivity, lighting, button and key functions, macros, recoil patterns and"
  "named profiles per product, which can follow the game that runs. A udev rule"
  "gives the user at the seat access to the products.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
string(REGEX REPLACE ".*-" "" CPACK_DEBIAN_PACKAGE_RELEASE ${M470_DEBIAN_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${M470_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.85.0)")
# The fonts of the Chinese texts and the Wayland platform of Qt: wanted, not required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-wayland")
# The desktop's pointer settings are reached through its own tools (gsettings
# and gdbus; KDE's kreadconfig comes with Plasma): without them the values
# stay in the profile.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libglib2.0-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${M470_PACKAGING_OUT}/debian/postinst ${M470_PACKAGING_OUT}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
