# Install-time part of the monitor's service: the unit under the systemd unit folder with the
# installed program's path, and its settings under the prefix's etc (/etc for the prefix /usr).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(ORVEX_SYSCONF_DIR /etc/orvex-monitor)
else()
    set(ORVEX_SYSCONF_DIR ${CMAKE_INSTALL_PREFIX}/etc/orvex-monitor)
endif()
set(CMAKE_INSTALL_FULL_BINDIR ${CMAKE_INSTALL_PREFIX}/${ORVEX_BINDIR})
configure_file(${ORVEX_TEMPLATE} ${ORVEX_GEN}/orvex-monitor@.service @ONLY)
file(INSTALL ${ORVEX_GEN}/orvex-monitor@.service DESTINATION ${ORVEX_UNIT_DIR})
file(INSTALL ${ORVEX_ENV} DESTINATION ${ORVEX_SYSCONF_DIR})
