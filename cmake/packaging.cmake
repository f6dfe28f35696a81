# What `cmake --install` puts where, and the packages CPack builds from it:
# a .deb on Linux, a .zip from the Windows (mingw) build.
include(GNUInstallDirs)

# The program itself goes to bin/ (see install(TARGETS) beside add_executable).

# Host recipes: a web server's configuration that runs the program at /slots,
# and a host page that frames the monitor in embedded mode.
set(SLOTS_SHARE ${CMAKE_INSTALL_DATADIR}/slots)
install(FILES ${CMAKE_SOURCE_DIR}/host/recipes/lighttpd-slots.conf DESTINATION ${SLOTS_SHARE}/lighttpd
        RENAME slots.conf)
install(FILES ${CMAKE_SOURCE_DIR}/host/recipes/apache2-slots.conf DESTINATION ${SLOTS_SHARE}/apache2
        RENAME slots.conf)
install(FILES ${CMAKE_SOURCE_DIR}/host/recipes/nginx-slots.conf DESTINATION ${SLOTS_SHARE}/nginx
        RENAME slots.conf)
install(FILES ${CMAKE_SOURCE_DIR}/host/htdocs/index.html DESTINATION ${SLOTS_SHARE}/htdocs)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/hosting.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(NOT WIN32)
  # Debian's place for examples: the lighttpd recipe, ready to copy.
  install(FILES ${CMAKE_SOURCE_DIR}/host/recipes/lighttpd-slots.conf
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples RENAME 50-slots.conf)
endif()

set(CPACK_PACKAGE_NAME slots)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "slots")
set(CPACK_PACKAGE_CONTACT "slots maintainers <slots@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Slots Monitor: CGI plug-in showing the slots of llama.cpp servers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "A program that a web server or a host application runs once per request\n"
  "(CGI/1.1). It serves the Slots Monitor page and two JSON calls that show\n"
  "which slots of a llama.cpp inference server are idle or generating, their\n"
  "speeds, the prompt cache share and how full each context is, read from a\n"
  "server address or from sessions that publish slots.json.\n"
  "Host recipes for lighttpd, Apache and nginx (fcgiwrap): /usr/share/slots.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION web)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # curl fetches a server's /slots; a web server runs the program.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "curl")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "lighttpd | apache2 | nginx, fcgiwrap")
  if(NOT SLOTS_STATIC)
    # A dynamically linked program depends on the libraries it links.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()

include(CPack)
