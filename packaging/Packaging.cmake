# Desktop integration and the Debian package. Included from the top-level CMakeLists.txt.
include(GNUInstallDirs)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorvel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32)
  install(FILES ${CMAKE_SOURCE_DIR}/assets/quorvel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quorvel.png)
endforeach()

# Debian's documentation folder is named after the package, not the project.
set(QUORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quorvel)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${QUORVEL_DOC_DIR})

# The Debian changelog ships compressed with gzip -9n (no name, no time stamp), as Debian wants.
# Its newest entry must be this release, so a version bump cannot forget it.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^quorvel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${changelog_head}\": "
                      "add an entry for ${PROJECT_VERSION} (and one to CHANGELOG.md)")
endif()
# The same for the newest release in the AppStream metainfo.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/org.quorvel.Quorvel.metainfo.xml.in metainfo_release
     REGEX "<release " LIMIT_COUNT 1)
if(NOT metainfo_release MATCHES "version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "the newest release in packaging/org.quorvel.Quorvel.metainfo.xml.in "
                      "is not ${PROJECT_VERSION}: add one with its date")
endif()
find_program(QUORVEL_GZIP gzip REQUIRED)
set(quorvel_pkg_dir ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${quorvel_pkg_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${quorvel_pkg_dir}
  COMMAND ${QUORVEL_GZIP} -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${quorvel_pkg_dir}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
add_custom_target(quorvel_docs ALL DEPENDS ${quorvel_pkg_dir}/changelog.gz)
install(FILES ${quorvel_pkg_dir}/changelog.gz DESTINATION ${QUORVEL_DOC_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/Manpages.cmake)

# AppStream metainfo for software centres; it names the lab only when this build has it.
if(TARGET quorvel-lab)
  set(QUORVEL_LAB_ITEM "
      <li>quorvel-lab, which runs the same cycles unattended on many receivers at once, with a
        CSV journal, time-to-first-fix statistics and an HTML report;</li>")
  set(QUORVEL_LAB_BINARY "\n    <binary>quorvel-lab</binary>")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/org.quorvel.Quorvel.metainfo.xml.in
               ${quorvel_pkg_dir}/org.quorvel.Quorvel.metainfo.xml @ONLY)
install(FILES ${quorvel_pkg_dir}/org.quorvel.Quorvel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# A stripped install (the package's) also drops the .comment and .note sections, as dh_strip does.
# Runs after the programs' own install rules: this file is included after their folders.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"${CMAKE_OBJCOPY}\")
    file(GLOB programs \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvel*\")
    foreach(program \${programs})
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                              \${program} COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel")
# The project has no public home yet: a project address, and no Homepage field until it has one.
set(CPACK_PACKAGE_CONTACT "The Quorvel developers <maintainers@quorvel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Cold-start endurance tester for GNSS receivers on a serial port")
# The extended description names only the programs this build ships.
file(READ ${CMAKE_CURRENT_LIST_DIR}/description.txt CPACK_PACKAGE_DESCRIPTION)
if(NOT TARGET quorvel-lab)
  string(REGEX REPLACE " - quorvel-lab[^\n]*\n(   [^\n]*\n)*" "" CPACK_PACKAGE_DESCRIPTION
         "${CPACK_PACKAGE_DESCRIPTION}")
endif()
set(CPACK_PACKAGE_INSTALL_DIRECTORY quorvel)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Libraries come from dpkg-shlibdeps when it is there; what the binaries load at run time
# without linking (the X platform plugin, the fonts the window names) is listed by hand.
find_program(QUORVEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUORVEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, fonts-wqy-microhei")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6widgets6, libqt6gui6, libqt6core6, libqt6serialport6, libqt6network6, libqt6httpserver6, qt6-qpa-plugins, fonts-liberation, fonts-wqy-microhei")
endif()
# The lab's report inlines Chart.js from Debian's package when it is there, and says so when not.
if(TARGET quorvel-lab)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libjs-chart.js")
endif()

set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/FixPermissions.cmake)
include(CPack)
