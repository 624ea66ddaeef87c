# Install rules and the Debian package. Included at the end of the top-level CMakeLists.txt, after
# every target exists.
include(GNUInstallDirs)

# Where the program's help file and other data go; the program looks here after its own folder.
set(QUILLBOX_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/quillbox")

install(TARGETS quillbox-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quillbox)
  install(TARGETS quillbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The plain help file, as target quillbox_help copies it beside the program in the build tree.
  get_target_property(quillbox_help_file quillbox_help QUILLBOX_HELP_FILE)
  install(FILES "${quillbox_help_file}" DESTINATION "${QUILLBOX_INSTALL_DATADIR}")
  # The program finds that folder from its own one, so that an unpacked or moved install works.
  file(RELATIVE_PATH quillbox_data_from_program "${CMAKE_INSTALL_FULL_BINDIR}"
       "${CMAKE_INSTALL_FULL_DATADIR}/quillbox")
  target_compile_definitions(quillbox_app PRIVATE QUILLBOX_DATA_FROM_PROGRAM="${quillbox_data_from_program}")
endif()

# Desktop integration: the launcher, the file types it opens, the icon.
set(quillbox_desktop_data "${PROJECT_SOURCE_DIR}/data")
install(FILES "${quillbox_desktop_data}/quillbox.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${quillbox_desktop_data}/quillbox-mime.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
        RENAME quillbox.xml)
install(FILES "${quillbox_desktop_data}/icons/quillbox.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES "${quillbox_desktop_data}/icons/${size}x${size}/quillbox.png"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()

# The .deb: `cpack -G DEB` in the build folder. Shared-library dependencies are found by
# dpkg-shlibdeps (package dpkg-dev); the MIME, desktop and icon caches are refreshed by the triggers
# of shared-mime-info, desktop-file-utils and the icon theme, so the package needs no scripts.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quillbox")
set(CPACK_PACKAGE_VENDOR "Quillbox")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Patch librarian for the PS02 effects device")
# CPackDeb indents each line of the long description as the control file wants.
set(CPACK_PACKAGE_DESCRIPTION "Quillbox keeps the effect patches of the PS02 device in library files
(*.pslib) with a description per patch, imports device patch files (*.pch),
arranges the library and shows and changes the drive and cabinet settings of
a patch. quillbox-tool lists, checks and converts the same files from a
terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillbox maintainers <maintainers@quillbox.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET quillbox)
  # Qt loads its windowing plugin at run time, which dpkg-shlibdeps cannot see.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
include(CPack)
