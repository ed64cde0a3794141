# What `cmake --install` puts in place, and the Debian package CPack makes of it
# (`cmake --build BUILD --target package`, or scripts/make-deb.sh).
include(GNUInstallDirs)

# The command line, its manual and the examples go into the package quilmark, which needs no Qt;
# the window into quilmark-gui (component gui), which depends on it; the live plugin, which needs
# the office's libraries, into quilmark-live (src/host/live installs it as that component).
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME main)
set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/quilmark)

# Manual pages and the changelog go in compressed, as Debian's policy asks (gzip -n: the same
# bytes on every build); made again when their source changes.
function(quilmark_gzipped source name)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${PROJECT_BINARY_DIR}/${name}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
configure_file(${_packaging}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
quilmark_gzipped(${PROJECT_BINARY_DIR}/changelog changelog)
foreach(_page IN ITEMS quilmark quilmark-gui)
  quilmark_gzipped(${_packaging}/${_page}.1 ${_page}.1)
endforeach()

install(TARGETS quilmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/quilmark.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The copyright, the changelog and the examples the manual's quick start uses.
install(FILES ${_packaging}/copyright ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${_doc})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${_doc}/examples)
if(TARGET quilmark-gui)
  # The window, its page, desktop entry and icons: a package of their own, so that the command
  # line installs without Qt.
  install(TARGETS quilmark-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  install(FILES ${PROJECT_BINARY_DIR}/quilmark-gui.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT gui)
  install(FILES ${_packaging}/quilmark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT gui)
  foreach(_size IN ITEMS 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icons/quilmark-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
            RENAME quilmark.png COMPONENT gui)
  endforeach()
  install(FILES ${_packaging}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quilmark-gui COMPONENT gui)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quilmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quilmark maintainers <quilmark@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# One package per component: neither the command line's package nor the window's needs an office,
# and the command line's needs no Qt.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main)
set(CPACK_DEBIAN_MAIN_PACKAGE_NAME quilmark)
# A description is one string: its first line the summary, the rest the long text (a CMake list
# would put ";" into the package's description lines). CPACK_PACKAGE_DESCRIPTION_SUMMARY stays
# unset, or CPack would put it above every package's own summary.
# Lines of the long text stay within 80 characters, as lintian asks.
set(CPACK_DEBIAN_MAIN_DESCRIPTION
    "图斑分区域统计汇总命令行 (sums land patches by zone and class)\n按区域和地类汇总工作表或 GIS 图层中的图斑面积, 结果写在数据下方或新的工作簿中。\n窗口程序在 quilmark-gui 包中。\nReads patch rows (zone, class, area) from an .xlsx worksheet, a GIS layer\nor the document open in LibreOffice Calc and writes per-zone summaries\nbelow the data or into a new workbook.")
# The libraries' packages come from the programs themselves; what they load by name does not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
if(TARGET quilmark-gui)
  list(APPEND CPACK_COMPONENTS_ALL gui)
  set(CPACK_DEBIAN_GUI_PACKAGE_NAME quilmark-gui)
  set(CPACK_DEBIAN_GUI_DESCRIPTION
      "图斑统计汇总窗口 (the window of Quilmark)\n在窗口中选择工作簿或图层和统计内容, 汇总图斑面积 (应用菜单 办公 中的 图斑统计汇总)。\nThe Qt window quilmark-gui: choose a worksheet or GIS layer, the columns\nand the summaries, and run them as the command line quilmark does.")
  # The command line of the same build, and what the window loads by name: its font and Qt's
  # Chinese translations.
  set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS
      "quilmark (= ${PROJECT_VERSION}), fonts-wqy-microhei, qt6-translations-l10n")
endif()
if(TARGET quilmark_live_plugin)
  install(FILES ${_packaging}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quilmark-live COMPONENT live)
  install(FILES ${_packaging}/lintian/quilmark-live
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT live)
  list(APPEND CPACK_COMPONENTS_ALL live)
  # Suggested, not recommended: the plugin's package is made here, in no repository apt knows.
  set(CPACK_DEBIAN_MAIN_PACKAGE_SUGGESTS quilmark-live)
  set(CPACK_DEBIAN_LIVE_PACKAGE_NAME quilmark-live)
  set(CPACK_DEBIAN_LIVE_DESCRIPTION
      "图斑统计汇总的 LibreOffice 实时连接 (Quilmark on the open Calc document)\n让 quilmark --live 和窗口汇总 LibreOffice Calc 中打开的工作簿。\nLets quilmark --live and the window work on the document open in a\nrunning LibreOffice Calc.")
  set(CPACK_DEBIAN_LIVE_PACKAGE_DEPENDS
      "quilmark (= ${PROJECT_VERSION}), libreoffice-calc | libreoffice-calc-nogui")
else()
  set(CPACK_DEBIAN_MAIN_PACKAGE_SUGGESTS "libreoffice-calc")
endif()
include(CPack)
