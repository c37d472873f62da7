# What `make install` (cmake --install) puts where, after Debian and freedesktop:
#   bin/                                 ferrovan-kest, ferrovan, ferrovan-sim
#   share/applications/ID.desktop        the window's launcher
#   share/icons/hicolor/NxN/apps/ID.png  the icon, rendered at build time from the window's drawing
#   share/metainfo/ID.metainfo.xml       AppStream metadata
#   share/man/man1/*.1.gz                the manual pages
#   share/bash-completion/completions/   completion of ferrovan
#   share/doc/ferrovan-kest/             the help documents (where the installed window finds
#                                        them), the copyright notice and the change log
include(GNUInstallDirs)

set(FK_APP_ID example.nordvel.FerrovanKest)
set(FK_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)
set(FK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ferrovan-kest)

foreach(program IN ITEMS ferrovan-kest ferrovan ferrovan-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The compilers' version notes (.comment) are of no use in an installed program.
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
                  COMMAND_ERROR_IS_FATAL ANY)")
  endif()
endforeach()

install(FILES ${FK_DESKTOP_DIR}/${FK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${FK_DESKTOP_DIR}/${FK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${FK_DESKTOP_DIR}/ferrovan.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ferrovan)

# The icon at every size, drawn by the window's own code.
if(TARGET fk_app)
  add_executable(fk_make_app_icons ${PROJECT_SOURCE_DIR}/scripts/make-app-icons.cpp)
  target_link_libraries(fk_make_app_icons PRIVATE fk_app)
  set(icon_dir ${CMAKE_BINARY_DIR}/icons)
  set(icons)
  foreach(size IN ITEMS 16 24 32 48 64 128 256)
    list(APPEND icons ${icon_dir}/hicolor/${size}x${size}/apps/${FK_APP_ID}.png)
  endforeach()
  add_custom_command(OUTPUT ${icons}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:fk_make_app_icons> ${icon_dir} ${FK_APP_ID}
    DEPENDS fk_make_app_icons
    COMMENT "Program icons" VERBATIM)
  add_custom_target(fk_app_icons ALL DEPENDS ${icons})
  install(DIRECTORY ${icon_dir}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# Manual pages and the change log, compressed as Debian keeps them (gzip -n: no name or time
# stamp, so the same source gives the same file).
set(compressed)
foreach(page IN ITEMS ferrovan ferrovan-kest ferrovan-sim)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 ${out}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 VERBATIM)
  list(APPEND compressed ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${FK_DESKTOP_DIR}/changelog ${changelog}
  DEPENDS ${FK_DESKTOP_DIR}/changelog VERBATIM)
list(APPEND compressed ${changelog})
add_custom_target(fk_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${changelog} ${FK_DESKTOP_DIR}/copyright DESTINATION ${FK_DOC_DIR})

# The help documents the build renders beside the window go to share/doc/ferrovan-kest/.
if(TARGET fk_help_docs)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/src/app/Docs/ DESTINATION ${FK_DOC_DIR} FILES_MATCHING PATTERN "*.pdf")
endif()
