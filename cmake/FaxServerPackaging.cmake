# The fax server's half as a Debian package of its own, corvane-tesk-faxserver:
# the fax server and the desktops are different machines, and a fax server
# needs neither Qt nor the address-book libraries. The desktop's files keep
# the default component and stay in corvane-tesk.

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified faxserver)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME corvane-tesk)
set(CPACK_DEBIAN_FAXSERVER_PACKAGE_NAME corvane-tesk-faxserver)
set(CPACK_DEBIAN_FAXSERVER_PACKAGE_SECTION net)
# sendfax for the print backend, the print server that runs it.
set(CPACK_DEBIAN_FAXSERVER_PACKAGE_RECOMMENDS "hylafax-client, cups-daemon")
set(CPACK_DEBIAN_FAXSERVER_PACKAGE_SUGGESTS "hylafax-server, samba")
set(CPACK_DEBIAN_FAXSERVER_DESCRIPTION
  "corvane-ask asks the Corvane Tesk program on a user's desktop where a fax\n"
  "goes, for scripts such as a Samba print command. The print backend\n"
  "corvane-fax turns a print queue into a HylaFAX fax queue that faxes each\n"
  "job to the number its sender confirms on their desktop.")
string(JOIN "" CPACK_DEBIAN_FAXSERVER_DESCRIPTION ${CPACK_DEBIAN_FAXSERVER_DESCRIPTION})
