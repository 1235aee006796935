# The Debian package of the program, made by CPack from the install rules: `cpack` in build/
# writes veltrano_<version>_<arch>.deb (tools/make-deb.sh does it all).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrano)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvex)
set(CPACK_PACKAGE_CONTACT "Quorvex <veltrano@quorvex.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zeitnahme für das Radfahren im Einzelzeitfahren")
set(CPACK_PACKAGE_DESCRIPTION
    "Veltrano nimmt die Zeiten der Radstrecke eines Triathlons im Einzelzeitfahren: Start von Hand
oder automatisch mit Startsignal, Runden per Taste oder Mausklick, Ergebnisprotokoll je
Kategorie mit Rundenzeiten und Geschwindigkeiten, als CSV, Webseite oder Text, gedruckt oder
in einer Tabellenkalkulation.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quorvex.example/)
# The libraries the program links come from dpkg-shlibdeps; what it loads at run time is named
# here: Qt's platform plugins (no window without them) and the fonts the clock and report use.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, shared-mime-info")
# The spreadsheet export drives LibreOffice Calc when it is there.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-calc")
set(CPACK_STRIP_FILES ON)
include(CPack)
