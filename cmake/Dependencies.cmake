# Libraries the library links privately, added by the subsystems that need them.
set(DOT11A_PRIVATE_LIBS)
