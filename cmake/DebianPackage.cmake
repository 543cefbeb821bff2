# `cpack -G DEB` in the build folder makes the Debian package of what
# `cmake --install` installs, under /usr. Its library dependencies come from
# dpkg-shlibdeps; the Qt plugins the program needs at run time are named here.
set(CPACK_PACKAGE_NAME talvenor)
set(CPACK_PACKAGE_VENDOR "Talvenor")
set(CPACK_PACKAGE_CONTACT "Talvenor developers <talvenor@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send short mails to mobile phones")
set(CPACK_PACKAGE_DESCRIPTION
  "Talvenor sends a short plain-text mail (subject and body) from the PC to a
mobile phone. Pick the carrier (it sets the body's byte limit), pick or type
the recipient, watch the live byte counters, and send. It speaks SMTP,
optionally after a POP3 login (POP before SMTP), with STARTTLS, TLS and
SMTP AUTH, and can keep every sent mail as an .eml file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/talvenor/talvenor")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows need a platform plugin (X11); the standard buttons speak
# Japanese with Qt's translations, and the text needs a Japanese font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk | fonts-ipafont-gothic")
# The passwords can be kept in the desktop's keyring (Secret Service).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring")
set(CPACK_STRIP_FILES ON)
include(CPack)
