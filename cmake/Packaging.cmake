# What `cmake --install` adds beside the library and the tools, and the Debian
# package `cpack -G DEB` makes of the whole installation.

install(TARGETS dot11a-call RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# pkg-config, for builds that do not use CMake.
configure_file(${CMAKE_SOURCE_DIR}/packaging/dot11a_b.pc.in ${CMAKE_BINARY_DIR}/dot11a_b.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dot11a_b.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The desktop application's menu entry and its icon.
if(DOT11A_GUI)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/dot11a_b.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size IN ITEMS 16 32 64)
    install(FILES ${CMAKE_SOURCE_DIR}/layouts/icon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME dot11a_b.png)
  endforeach()
endif()

# Manual pages of the command-line tools, made by help2man from their --help.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(man_pages "")
  foreach(tool IN ITEMS dot11a-gen dot11a-verify dot11a-call tgx-sim dot11a-per)
    if(NOT TARGET ${tool})
      continue()
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
              --name=${tool} --output=${page} $<TARGET_FILE:${tool}>
      DEPENDS ${tool}
      COMMENT "Manual page of ${tool}")
    list(APPEND man_pages ${page})
  endforeach()
  add_custom_target(dot11a_man ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "Manual pages: not made (needs help2man)")
endif()

# ---- the Debian package -------------------------------------------------------------
set(CPACK_PACKAGE_NAME veltora-dot11a)
set(CPACK_PACKAGE_VENDOR "Veltora")
set(CPACK_PACKAGE_CONTACT "Veltora 802.11a developers <dot11a@veltora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The shared libraries' packages come from dpkg-shlibdeps; the Python module
# needs the interpreter and numpy, and the MAT files libmatio (opened on first
# use), which it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11), python3-numpy, ${DOT11A_MATIO_PACKAGE}")
# dpkg-shlibdeps finds the library among the package's own files.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
