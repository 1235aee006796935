# The Debian packages, made by CPack from the install rules: `cpack` in build/ writes
# veltrano_<version>_<arch>.deb, the program, and veltrano-calc_<version>_<arch>.deb, the
# spreadsheet module (tools/make-deb.sh does it all). The program's package needs no office: a race
# laptop installs it alone; the module, which links LibreOffice's UNO libraries, is the install
# component "calc".
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrano)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvex)
set(CPACK_PACKAGE_CONTACT "Quorvex <veltrano@quorvex.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvex.example/)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# The rules without a component are the program's.
set(CPACK_COMPONENTS_ALL Unspecified calc)
# The libraries each package links come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME veltrano)
set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION
    "Zeitnahme für das Radfahren im Einzelzeitfahren
Veltrano nimmt die Zeiten der Radstrecke eines Triathlons im Einzelzeitfahren: Start von Hand
oder automatisch mit Startsignal, Runden per Taste oder Mausklick, Ergebnisprotokoll je
Kategorie mit Rundenzeiten und Geschwindigkeiten, als CSV, Webseite oder Text, gedruckt oder
(mit dem Paket veltrano-calc) in einer Tabellenkalkulation.")
# What the program loads at run time: Qt's platform plugins (no window without them) and the
# fonts the clock and report use.
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, shared-mime-info")
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SUGGESTS "veltrano-calc")

set(CPACK_DEBIAN_CALC_PACKAGE_NAME veltrano-calc)
set(CPACK_DEBIAN_CALC_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_CALC_DESCRIPTION
    "Veltrano: Übertragung des Protokolls in LibreOffice Calc
Das Modul, mit dem der Knopf „Excel“ von Veltrano das Ergebnisprotokoll in eine neue Tabelle
von LibreOffice Calc überträgt.")
# The module is built for this very program, and starts Calc (the desktop one or the one
# without a window system).
set(CPACK_DEBIAN_CALC_PACKAGE_DEPENDS
    "veltrano (= ${PROJECT_VERSION}), libreoffice-calc | libreoffice-calc-nogui")
include(CPack)
