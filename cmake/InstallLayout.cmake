# Where `make install` puts things under its prefix; read by the install and
# the uninstall alike.
set(ZORV_PROGRAM_DIR lib/zorv)
set(ZORV_COMMAND bin/zorv)
set(ZORV_DESKTOP_ENTRY share/applications/zorv.desktop)
