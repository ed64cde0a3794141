# What `cmake --install` puts in place, and the Debian package CPack makes of it
# (`cmake --build BUILD --target package`, or scripts/make-deb.sh).
include(GNUInstallDirs)

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
install(TARGETS quilmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_packaging}/quilmark.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET quilmark-gui)
  install(TARGETS quilmark-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${_packaging}/quilmark-gui.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_packaging}/quilmark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(_size IN ITEMS 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/quilmark-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
            RENAME quilmark.png)
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quilmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quilmark maintainers <quilmark@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "图斑分区域统计汇总 (sums land patches by zone and class)")
set(CPACK_PACKAGE_DESCRIPTION
    "按区域和地类汇总工作表中的图斑面积, 结果写在数据下方。\n"
    "Reads patch rows (zone, class, area) from an .xlsx worksheet or the document open in\n"
    "LibreOffice Calc and writes per-zone summaries below the data.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries' packages come from the programs themselves; what they load by name does not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
if(TARGET quilmark-gui)
  # What the window loads by name: its font and Qt's Chinese translations.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-calc")
include(CPack)
