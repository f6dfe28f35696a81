# What `cmake --install` puts where, and the packages CPack builds from it:
# a .deb on Linux, a .zip from the Windows (mingw) build.

# The program itself goes to bin/ (see install(TARGETS) beside add_executable).

# Host recipes: a web server's configuration that runs the program at /slots,
# and a host page that frames the monitor in embedded mode.
set(SLOTS_SHARE ${CMAKE_INSTALL_DATADIR}/slots)
install(FILES ${PROJECT_SOURCE_DIR}/host/recipes/lighttpd-slots.conf DESTINATION ${SLOTS_SHARE}/lighttpd
        RENAME slots.conf)
install(FILES ${PROJECT_SOURCE_DIR}/host/recipes/apache2-slots.conf DESTINATION ${SLOTS_SHARE}/apache2
        RENAME slots.conf)
install(FILES ${PROJECT_SOURCE_DIR}/host/recipes/nginx-slots.conf DESTINATION ${SLOTS_SHARE}/nginx
        RENAME slots.conf)
install(FILES ${PROJECT_SOURCE_DIR}/host/htdocs/index.html DESTINATION ${SLOTS_SHARE}/htdocs)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/hosting.md
              ${PROJECT_SOURCE_DIR}/docs/prometheus.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Prometheus: a scrape job for the program behind a web server, its alert and
# recording rules, and the rules' unit tests (promtool test rules).
install(FILES ${PROJECT_SOURCE_DIR}/host/prometheus/prometheus.yml
              ${PROJECT_SOURCE_DIR}/host/prometheus/slots-rules.yml
              ${PROJECT_SOURCE_DIR}/host/prometheus/slots-rules.test.yml
        DESTINATION ${SLOTS_SHARE}/prometheus)

# Who packaged it: the Maintainer of the .deb and the signature of its
# changelog entry. Packagers set their own.
set(SLOTS_PACKAGE_MAINTAINER "slots maintainers <slots-maintainers@example.org>" CACHE STRING
    "Name and mail address of the package's maintainer")

# The manual page, slots(1), from docs/slots.1.
set(SLOTS_MANUAL ${PROJECT_SOURCE_DIR}/docs/slots.1)
set(SLOTS_DOC_BUILD ${PROJECT_BINARY_DIR}/doc)
if(WIN32)
  # Windows has no man: the package carries the page as plain text, rendered
  # with groff on the build machine, beside the license and the change list.
  find_program(SLOTS_GROFF groff)
  if(SLOTS_GROFF)
    add_custom_command(
      OUTPUT ${SLOTS_DOC_BUILD}/slots.1.txt
      COMMAND ${CMAKE_COMMAND} -DGROFF=${SLOTS_GROFF} -DINPUT=${SLOTS_MANUAL}
              -DOUTPUT=${SLOTS_DOC_BUILD}/slots.1.txt -P ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
      DEPENDS ${SLOTS_MANUAL} ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
      COMMENT "Rendering the manual page as text")
    add_custom_target(docs ALL DEPENDS ${SLOTS_DOC_BUILD}/slots.1.txt)
    install(FILES ${SLOTS_DOC_BUILD}/slots.1.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    message(WARNING "groff not found: the package will lack the manual as text (slots.1.txt)")
    add_custom_target(docs)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  # Debian's place for examples: the lighttpd recipe, ready to copy.
  install(FILES ${PROJECT_SOURCE_DIR}/host/recipes/lighttpd-slots.conf
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples RENAME 50-slots.conf)

  # The manual page and the changelog compressed as Debian wants them
  # (gzip -9n); the changelog is signed by the package's maintainer.
  set(SLOTS_DEBIAN ${PROJECT_SOURCE_DIR}/packaging/debian)
  configure_file(${SLOTS_DEBIAN}/changelog.in ${SLOTS_DOC_BUILD}/changelog @ONLY)
  find_program(SLOTS_GZIP gzip REQUIRED)
  set(compressed)
  foreach(doc IN ITEMS ${SLOTS_MANUAL} ${SLOTS_DOC_BUILD}/changelog)
    get_filename_component(name ${doc} NAME)
    add_custom_command(
      OUTPUT ${SLOTS_DOC_BUILD}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -DGZIP=${SLOTS_GZIP} -DINPUT=${doc} -DOUTPUT=${SLOTS_DOC_BUILD}/${name}.gz
              -P ${PROJECT_SOURCE_DIR}/cmake/gzip_file.cmake
      DEPENDS ${doc} ${PROJECT_SOURCE_DIR}/cmake/gzip_file.cmake
      COMMENT "Compressing ${name}")
    list(APPEND compressed ${SLOTS_DOC_BUILD}/${name}.gz)
  endforeach()
  add_custom_target(docs ALL DEPENDS ${compressed})
  install(FILES ${SLOTS_DOC_BUILD}/slots.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${SLOTS_DOC_BUILD}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # The license in Debian's machine-readable copyright format, and the
  # overrides of lintian's tags that do not apply, each with its reason.
  install(FILES ${SLOTS_DEBIAN}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${SLOTS_DEBIAN}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME slots)
endif()

set(CPACK_PACKAGE_NAME slots)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the slots authors")
set(CPACK_PACKAGE_CONTACT "${SLOTS_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CGI plug-in that shows the slots of llama.cpp servers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "The Slots Monitor: a program that a web server or a host application runs\n"
  "once per request (CGI/1.1). It serves a web page and JSON calls that show\n"
  "which slots of a llama.cpp inference server are idle or generating, their\n"
  "speeds, the prompt cache share and how full each context is, read from a\n"
  "server address or from sessions that publish slots.json, and the models\n"
  "of a llama.cpp router.\n"
  "Host recipes for lighttpd, Apache and nginx (fcgiwrap): /usr/share/slots.")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
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
