# Install-time part of the agent's service: the unit under the systemd unit folder with the
# installed program's path, and its settings under the prefix's etc (/etc for the prefix /usr).
# The monitor's old name stays for one release: the unit orvex-monitor@ is an alias of it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(etc /etc)
else()
    set(etc ${CMAKE_INSTALL_PREFIX}/etc)
endif()
set(ORVEX_SYSCONF_DIR ${etc}/orvex-agent)
set(ORVEX_OLD_SYSCONF_DIR ${etc}/orvex-monitor)
set(CMAKE_INSTALL_FULL_BINDIR ${CMAKE_INSTALL_PREFIX}/${ORVEX_BINDIR})
configure_file(${ORVEX_TEMPLATE} ${ORVEX_GEN}/units/orvex-agent@.service @ONLY)
file(CREATE_LINK orvex-agent@.service ${ORVEX_GEN}/units/orvex-monitor@.service SYMBOLIC)
file(INSTALL ${ORVEX_GEN}/units/orvex-agent@.service ${ORVEX_GEN}/units/orvex-monitor@.service
    DESTINATION ${ORVEX_UNIT_DIR})
file(INSTALL ${ORVEX_ENV} DESTINATION ${ORVEX_SYSCONF_DIR})
