# The Debian package, made by CPack from the install rules of the component "torvane"
# (scripts/package.sh): torvane_<version>_<arch>.deb. Its library dependencies are computed
# by dpkg-shlibdeps; what the programs load at run time without linking it is named here.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "torvane")
set(CPACK_PACKAGE_VENDOR "Torvane")
set(CPACK_PACKAGE_CONTACT "Torvane <support@torvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "upgrade the firmware of IP cameras")
set(CPACK_PACKAGE_DESCRIPTION
    "Torvane upgrades the firmware of IP cameras on a local network: it searches the\n"
    "network for cameras, and with one press upgrades a camera's system firmware and\n"
    "then its web interface firmware, writing every step to an operation log in\n"
    "English, Simplified Chinese or Traditional Chinese. The F, H, T and E camera\n"
    "series are served. torvane-cli runs the same upgrades from the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "torvane")
set(CPACK_STRIP_FILES ON)

# Only the component of the package, in one package (torvane-camsim stays out).
set(CPACK_COMPONENTS_ALL torvane)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

set(CPACK_DEBIAN_PACKAGE_NAME "torvane")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # torvane_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET torvane)
    # Qt loads its platform plugin (xcb, wayland) at run time; nothing links it.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
# The Chinese packs need CJK glyphs; https firmware servers need the CA certificates.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")

include(CPack)
