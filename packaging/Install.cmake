# What `cmake --install` puts where, and the packages CPack makes of it.
# Linux: two components, so that the command line never pulls in Qt:
#   cli     fencat, its man page, bash and zsh completion
#   window  fencat-window, its man page, desktop entry, icons, and the file
#           managers' menu items (a Dolphin service menu, a Nautilus script)
# Windows: the two programs, side by side in a ZIP, and a per-user installer
# (NSIS, from the project's own template in packaging/windows).
include(GNUInstallDirs)
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})

if(WIN32)
  # Beside each other, as fencat.exe and the user look for them.
  install(TARGETS fencat RUNTIME DESTINATION . COMPONENT cli)
  if(TARGET TolvarFencat)
    install(TARGETS TolvarFencat RUNTIME DESTINATION . COMPONENT window)
  endif()
  set(CPACK_GENERATOR ZIP NSIS)
  # One package of both programs, laid out flat.
  set(CPACK_MONOLITHIC_INSTALL ON)
  # CPack's own template installs for all users and asks for administrator
  # rights; ours installs for the user who runs it.
  list(PREPEND CMAKE_MODULE_PATH ${packaging_dir}/windows)
  set(CPACK_NSIS_PACKAGE_NAME "Tolvar Fencat")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tolvar Fencat")
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY TolvarFencat)
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/main.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/main.ico)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_NSIS_FENCAT_TARGET amd64-unicode)
  else()
    set(CPACK_NSIS_FENCAT_TARGET x86-unicode)
  endif()
else()
  install(TARGETS fencat RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
  foreach(page fencat fencat-window)
    configure_file(${packaging_dir}/${page}.1 ${PROJECT_BINARY_DIR}/packaging/${page}.1 @ONLY)
  endforeach()
  install(FILES ${PROJECT_BINARY_DIR}/packaging/fencat.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
  install(FILES ${packaging_dir}/completion/fencat.bash RENAME fencat
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT cli)
  # Debian's zsh reads vendor-completions, not site-functions.
  install(FILES ${packaging_dir}/completion/_fencat
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT cli)

  if(TARGET fencat-window)
    install(TARGETS fencat-window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/fencat-window.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
    install(FILES ${packaging_dir}/fencat-window.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/hicolor
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT window)
    # Files reach the window through the file managers' own menus, never as
    # a default opener.
    install(FILES ${packaging_dir}/fencat-window-servicemenu.desktop RENAME fencat-window.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus COMPONENT window)
    # Nautilus reads scripts from each user's folder only; this is the shared
    # folder that a user links them from.
    install(PROGRAMS ${packaging_dir}/nautilus-script.sh RENAME "Which processes use this?"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/nautilus-scripts COMPONENT window)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Dependencies come from the binaries themselves (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Tolvar Fencat developers <developers@tolvar-fencat.invalid>")
  set(CPACK_DEBIAN_CLI_PACKAGE_NAME fencat)
  string(CONCAT CPACK_DEBIAN_CLI_DESCRIPTION
      "list the processes that use a file\n"
      "fencat answers which running processes use a file: those that have it\n"
      "loaded or mapped, hold it open, or have it as their current or root\n"
      "folder. It can list PIDs for kill and xargs, show who uses a file\n"
      "system, signal the users of a file, and wait until a file is free.")
  set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME fencat-window)
  string(CONCAT CPACK_DEBIAN_WINDOW_DESCRIPTION
      "window that shows the processes that use a dropped file\n"
      "fencat-window is the Qt window of fencat: drop a file on it from a file\n"
      "manager, or open a file with it, and it lists the processes that use it.")
  set(CPACK_COMPONENT_WINDOW_DEPENDS cli)
  # The desktop's icon themes are mostly SVG, which Qt draws only through
  # the SVG module's icon engine, a plugin that no binary links to.
  set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "libqt6svg6")
  # The window's package depends on the command line's, of the same version.
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  if(NOT TARGET fencat-window)
    set(CPACK_COMPONENTS_ALL cli)
  endif()
endif()

# All four numbers; CPack would take only three.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tolvar Fencat developers")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
include(CPack)

if(FENCAT_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/install ${PROJECT_BINARY_DIR}/tests/install)
endif()
