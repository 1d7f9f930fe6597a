# Where the installed service finds its pieces. Everything that names an
# install path takes it from here; the package is built with the prefix /usr
# (scripts/build.sh), which puts the configuration under /etc.
include(GNUInstallDirs)

# periphd finds libCardBridge by an absolute path under its own install tree.
set(PERIPHD_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}/periphd")
# Read-only data (card face templates, font aliases, the demo page): install
# with DESTINATION ${PERIPHD_INSTALL_DATADIR}. The code knows it as
# PERIPHD_DATADIR, and periphd finds it beside itself, at
# PERIPHD_DATA_FROM_BINDIR from its folder; the build tree stages it at the
# same place relative to build/app/periphd (PERIPHD_STAGED_DATADIR), so a
# periphd run from either finds it alike.
set(PERIPHD_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/periphd")
set(PERIPHD_DATADIR "${CMAKE_INSTALL_FULL_DATADIR}/periphd")
file(RELATIVE_PATH PERIPHD_DATA_FROM_BINDIR "${CMAKE_INSTALL_FULL_BINDIR}" "${PERIPHD_DATADIR}")
cmake_path(ABSOLUTE_PATH PERIPHD_DATA_FROM_BINDIR BASE_DIRECTORY "${PROJECT_BINARY_DIR}/app" NORMALIZE
           OUTPUT_VARIABLE PERIPHD_STAGED_DATADIR)
# The administrator's settings.
set(PERIPHD_CONFIG_DIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/periphd")
set(PERIPHD_CONFIG_FILE "${PERIPHD_CONFIG_DIR}/periphd.conf")
# Rules, units and the autostart entry, where udev, systemd and the desktops look.
set(PERIPHD_UDEV_RULES_DIR "lib/udev/rules.d")
set(PERIPHD_SYSTEMD_USER_DIR "lib/systemd/user")
set(PERIPHD_AUTOSTART_DIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart")

# Link to this for the paths as compile definitions. Only the targets that
# link it see them, so a change of prefix rebuilds only those.
add_library(periphd_install_paths INTERFACE)
target_compile_definitions(periphd_install_paths INTERFACE
  PERIPHD_DATADIR="${PERIPHD_DATADIR}"
  PERIPHD_DATA_FROM_BINDIR="${PERIPHD_DATA_FROM_BINDIR}"
  PERIPHD_CONFIG_FILE="${PERIPHD_CONFIG_FILE}")
