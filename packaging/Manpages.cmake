# Manual pages, section 1, made at build time from one source each: help2man on the --help of
# the programs that have one (plus packaging/man/<program>.h2m for what --help cannot hold),
# go-md2man on packaging/man/quorvel.md for the window, which has no command line.
# Included from Packaging.cmake; installs gzipped pages, so `cmake --install` ships them too.
option(QUORVEL_MAN_PAGES "Build and install the manual pages (needs help2man and go-md2man)" ON)
if(NOT QUORVEL_MAN_PAGES)
  return()
endif()
find_program(QUORVEL_HELP2MAN help2man REQUIRED)
find_program(QUORVEL_GO_MD2MAN go-md2man REQUIRED)
set(quorvel_man_dir ${CMAKE_BINARY_DIR}/packaging/man)
file(MAKE_DIRECTORY ${quorvel_man_dir})
# An include file added later shows in the folder's time stamp: configure again then.
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/man)
set(quorvel_man_pages)

# help2man runs the program itself and reads its --version; --version-string stands in for the
# programs that have none yet.
set(QUORVEL_HAS_VERSION_OPTION quorvel-lab)
function(quorvel_help2man program summary)
  set(version_args --version-string=${PROJECT_VERSION})
  if(program IN_LIST QUORVEL_HAS_VERSION_OPTION)
    set(version_args)
  endif()
  set(include_args)
  set(include_file ${CMAKE_CURRENT_LIST_DIR}/man/${program}.h2m)
  if(EXISTS ${include_file})
    set(include_args --include=${include_file})
  else()
    set(include_file)
  endif()
  set(page ${quorvel_man_dir}/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${QUORVEL_HELP2MAN} --no-info --section=1 ${version_args}
            --name=${summary} ${include_args} --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${QUORVEL_GZIP} -9nf ${page}
    DEPENDS ${program} ${include_file}
    COMMENT "Manual page ${program}(1)" VERBATIM)
  set(quorvel_man_pages ${quorvel_man_pages} ${page}.gz PARENT_SCOPE)
endfunction()

quorvel_help2man(quorvel-sim "simulated GNSS receiver on a pseudo-terminal, for trying and testing Quorvel")
if(TARGET quorvel-lab)
  quorvel_help2man(quorvel-lab "unattended GNSS hot, warm, cold and factory start tests on many receivers, with a journal and a report")
  set(QUORVEL_LAB_SEE_ALSO ", **quorvel-lab**(1)")
endif()

# The window's page: version, month and cross references filled in, then Markdown to troff.
string(TIMESTAMP QUORVEL_MAN_DATE "%B %Y" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/man/quorvel.md ${quorvel_man_dir}/quorvel.md @ONLY)
add_custom_command(OUTPUT ${quorvel_man_dir}/quorvel.1.gz
  COMMAND ${QUORVEL_GO_MD2MAN} -in ${quorvel_man_dir}/quorvel.md -out ${quorvel_man_dir}/quorvel.1
  COMMAND ${QUORVEL_GZIP} -9nf ${quorvel_man_dir}/quorvel.1
  DEPENDS ${quorvel_man_dir}/quorvel.md
  COMMENT "Manual page quorvel(1)" VERBATIM)
list(APPEND quorvel_man_pages ${quorvel_man_dir}/quorvel.1.gz)

add_custom_target(quorvel_man_pages ALL DEPENDS ${quorvel_man_pages})
install(FILES ${quorvel_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
