# What `cmake --install` puts where, and the two Debian packages CPack makes of it:
#   orvex-link   the windows program, its help, menu entry, icons and metainfo (pulls the
#                browser engine);
#   orvex-tools  orvex-cli, orvex-agent with its systemd unit, settings and group orvex,
#                headend-sim, the shell completions (Qt Core, Network, SerialPort, HttpServer
#                only), for a small box at a site;
#   orvex-cockpit the head-end page for Cockpit (cockpit/CMakeLists.txt installs it), where
#                the page is built.
set(ORVEX_MAINTAINER "ORVEX Link maintainers <maintainers@orvex.example>"
    CACHE STRING "Maintainer named in the packages")
set(ORVEX_HOMEPAGE "https://orvex.example/link" CACHE STRING "Homepage named in the packages")
set(ORVEX_APP_ID "example.orvex.Link" CACHE STRING "AppStream id of the windows program")
set(ORVEX_DATA_FOLDER orvex-link)

# The unit folder of Debian 12's systemd.
set(ORVEX_UNIT_DIR /lib/systemd/system CACHE PATH "systemd unit folder")
set(ORVEX_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(ORVEX_COMPONENTS tools)
if(ORVEX_GUI)
    list(APPEND ORVEX_COMPONENTS link)
endif()
if(TARGET orvex_cockpit_page)
    list(APPEND ORVEX_COMPONENTS cockpit)
endif()
set(gen ${CMAKE_BINARY_DIR}/packaging)

# Files that carry installed paths or the version, and the compressed ones Debian wants.
configure_file(${pkg}/metainfo.xml.in ${gen}/${ORVEX_APP_ID}.metainfo.xml @ONLY)
set(gzipped)
foreach(page orvex-link orvex-cli orvex-agent headend-sim)
    list(APPEND gzipped ${gen}/${page}.1.gz)
    add_custom_command(OUTPUT ${gen}/${page}.1.gz
        COMMAND gzip -9nc ${pkg}/man/${page}.1 > ${gen}/${page}.1.gz
        DEPENDS ${pkg}/man/${page}.1 VERBATIM)
endforeach()
foreach(component IN LISTS ORVEX_COMPONENTS)
    set(package orvex-${component})
    set(ORVEX_PACKAGE ${package})
    configure_file(${pkg}/changelog.in ${gen}/${package}/changelog @ONLY)
    list(APPEND gzipped ${gen}/${package}/changelog.gz)
    add_custom_command(OUTPUT ${gen}/${package}/changelog.gz
        COMMAND gzip -9nc ${gen}/${package}/changelog > ${gen}/${package}/changelog.gz
        DEPENDS ${gen}/${package}/changelog VERBATIM)
endforeach()
# The name the agent had, for one release: its page, program and completion are the agent's.
file(MAKE_DIRECTORY ${gen}/completions)
file(CREATE_LINK orvex-agent.1.gz ${gen}/orvex-monitor.1.gz SYMBOLIC)
file(CREATE_LINK orvex-agent ${gen}/completions/orvex-monitor SYMBOLIC)
add_custom_target(orvex_packaging ALL DEPENDS ${gzipped})
# The package's scripts: the group orvex, and the settings moved from /etc/orvex-monitor/.
# Their version is the last one whose upgrade moves the settings: any up to this one, since
# the move does nothing where there is nothing to move.
foreach(script preinst postinst postrm)
    configure_file(${pkg}/debian/${script}.in ${gen}/debian/${script} @ONLY)
endforeach()

# orvex-tools
install(TARGETS orvex-cli orvex-agent headend-sim
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(FILES $<TARGET_FILE_DIR:orvex-agent>/orvex-monitor
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(FILES ${pkg}/orvex-agent.sysusers DESTINATION lib/sysusers.d RENAME orvex-agent.conf
    COMPONENT tools)
install(FILES ${pkg}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME orvex-tools COMPONENT tools)
# The unit names the installed program and its settings folder, which depend on the prefix
# given at install time (`cmake --install build --prefix /usr`: /usr/bin and /etc).
install(CODE "
    set(ORVEX_TEMPLATE [[${pkg}/orvex-agent@.service.in]])
    set(ORVEX_ENV [[${pkg}/orvex-agent.env]])
    set(ORVEX_UNIT_DIR [[${ORVEX_UNIT_DIR}]])
    set(ORVEX_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
    set(ORVEX_GEN [[${gen}]])
    include([[${CMAKE_SOURCE_DIR}/cmake/InstallUnit.cmake]])" COMPONENT tools)
install(FILES ${pkg}/completions/orvex-cli ${pkg}/completions/orvex-agent
    ${gen}/completions/orvex-monitor DESTINATION ${ORVEX_COMPLETION_DIR} COMPONENT tools)
install(FILES ${gen}/orvex-cli.1.gz ${gen}/orvex-agent.1.gz ${gen}/orvex-monitor.1.gz
    ${gen}/headend-sim.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
install(FILES ${CMAKE_SOURCE_DIR}/deploy/prometheus.yml ${CMAKE_SOURCE_DIR}/deploy/orvex-alerts.yml
    ${CMAKE_SOURCE_DIR}/deploy/orvex-alerts-test.yml ${CMAKE_SOURCE_DIR}/deploy/ttyUSB0.env
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvex-tools/examples COMPONENT tools)

# orvex-link
if(ORVEX_GUI)
    install(TARGETS orvex-link RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT link)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/Help
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${ORVEX_DATA_FOLDER} COMPONENT link)
    install(FILES ${pkg}/orvex-link.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT link)
    install(FILES ${gen}/${ORVEX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT link)
    install(FILES ${pkg}/icons/orvex-link.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT link)
    foreach(size 16 32 48 64 128 256)
        install(FILES ${pkg}/icons/orvex-link-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME orvex-link.png COMPONENT link)
    endforeach()
    install(FILES ${gen}/orvex-link.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT link)
endif()

foreach(component IN LISTS ORVEX_COMPONENTS)
    install(FILES ${pkg}/copyright ${gen}/orvex-${component}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvex-${component} COMPONENT ${component})
endforeach()

# The packages: cpack -G DEB in the build folder (scripts/package.sh does it all).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VENDOR "ORVEX")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ORVEX_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${ORVEX_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVEX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ORVEX_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_LINK_PACKAGE_NAME orvex-link)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME orvex-tools)
set(CPACK_DEBIAN_LINK_PACKAGE_SUGGESTS orvex-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "orvex-link, prometheus")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_COCKPIT_PACKAGE_NAME orvex-cockpit)
set(CPACK_DEBIAN_COCKPIT_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_COCKPIT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_COCKPIT_PACKAGE_DEPENDS "cockpit-bridge, orvex-tools (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_COCKPIT_PACKAGE_RECOMMENDS "cockpit-ws, cockpit-system")
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${pkg}/debian/conffiles ${gen}/debian/preinst
    ${gen}/debian/postinst ${gen}/debian/postrm)
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts one space before each line of the long description.
set(CPACK_DEBIAN_LINK_DESCRIPTION "service tool for ORVEX cable-TV head-ends
ORVEX Link is the service and configuration tool for the ORVEX modular
cable-TV head-end: up to two subracks of 16 plug-in modules on one RS-232
line. It scans the head-end, shows every module and its diagnostic state,
opens a control panel generated from each module's own description, saves
and restores configurations, works console modules through a terminal and
shows the pages that some modules carry.
.
It works on a local serial port or on a terminal server's port (raw TCP or
RFC 2217), and comes with a built-in demo head-end (port DEMO).")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command line tools for ORVEX cable-TV head-ends
The tools of ORVEX Link without windows, for scripts, SSH sessions and small
boxes at a site:
 - orvex-cli: scan, show, set, diagnose, save, load, compare and back up the
   modules of a head-end;
 - orvex-agent: the site agent (formerly orvex-monitor, a systemd unit
   per line): runs the operations of orvex-cli clients that reach it by
   its socket or through ssh (members of the group orvex), polls the
   head-end and serves its state to Prometheus, and lends the line to one
   remote client;
 - headend-sim: a simulated head-end on a pseudo-terminal or serial device.")
set(CPACK_DEBIAN_COCKPIT_DESCRIPTION "web page for ORVEX cable-TV head-ends in Cockpit
The head-end page of ORVEX Link for Cockpit, the web console: its entry
Head-end in Cockpit's menu shows each line the box's site agents serve, both
subracks with every module's type and diagnostic state, the scan with its
progress, the status line and the message log, and a module's control
panel, whose values are written and committed as the windows do it.
.
The page talks to the agent's socket with the logged-in user's rights: the
members of the group orvex may change the head-end. Cockpit provides the
log-in, TLS and users; nothing else listens on the network.")
include(CPack)
