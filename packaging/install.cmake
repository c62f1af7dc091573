# The installation into a prefix (cmake --install), laid out as a Linux desktop application:
#   lib/tavolin/                 the launcher, libKestrilo.so, the cabinet writer module and the
#                                Java classes side by side, as in the build's out folder (the
#                                launcher's folder is the installation)
#   bin/tavolin                  a relative symbolic link to lib/tavolin/launcher
#   share/applications/          the desktop entry
#   share/metainfo/              the AppStream metadata software centres read
#   share/icons/hicolor/         the application icon, scalable and in the usual bitmap sizes
#   share/man/man1/tavolin.1     the manual page
# The icon's bitmaps and its Windows .ico (TAVOLIN_ICON_ICO, for the Windows launcher's icon
# resource) are rendered from packaging/icons/tavolin.svg at build time by rsvg-convert.
set(TAVOLIN_INSTALL_DIR lib/tavolin)
set(packaging_dir ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS launcher tavolin-start RUNTIME DESTINATION ${TAVOLIN_INSTALL_DIR})
install(TARGETS Kestrilo cabwriter LIBRARY DESTINATION ${TAVOLIN_INSTALL_DIR})
# The classes javac made from java/, inner classes included; taken when installing, because
# their names are known only then.
install(CODE "
  file(GLOB tavolin_classes \"${TAVOLIN_OUTPUT_DIR}/Kestrilo*.class\"
       \"${TAVOLIN_OUTPUT_DIR}/Fennaquil*.class\")
  file(INSTALL \${tavolin_classes}
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${TAVOLIN_INSTALL_DIR}\")
")
# Relative, so that the installation can be moved (a package unpacked into another root).
install(CODE "
  set(tavolin_link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/tavolin\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  message(STATUS \"Installing: \${tavolin_link} -> ../${TAVOLIN_INSTALL_DIR}/launcher\")
  file(CREATE_LINK ../${TAVOLIN_INSTALL_DIR}/launcher \${tavolin_link} SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/bin/tavolin\")
")
install(FILES ${packaging_dir}/linux/tavolin.desktop DESTINATION share/applications)
install(FILES ${packaging_dir}/linux/org.tavolin.Tavolin.metainfo.xml DESTINATION share/metainfo)
install(FILES ${packaging_dir}/linux/tavolin.1 DESTINATION share/man/man1)
install(FILES ${packaging_dir}/icons/tavolin.svg DESTINATION share/icons/hicolor/scalable/apps)

set(TAVOLIN_ICON_SIZES 16 22 24 32 48 64 128 256)
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(TAVOLIN_ICON_ICO ${icon_dir}/tavolin.ico)
find_program(TAVOLIN_RSVG_CONVERT rsvg-convert)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(TAVOLIN_RSVG_CONVERT)
  set(icon_pngs)
  foreach(size ${TAVOLIN_ICON_SIZES})
    list(APPEND icon_pngs ${icon_dir}/tavolin-${size}.png)
  endforeach()
  add_custom_command(
    OUTPUT ${icon_pngs} ${TAVOLIN_ICON_ICO}
    COMMAND ${Python3_EXECUTABLE} ${packaging_dir}/icons/render_icons.py
            --rsvg-convert ${TAVOLIN_RSVG_CONVERT} --svg ${packaging_dir}/icons/tavolin.svg
            --out ${icon_dir} --sizes ${TAVOLIN_ICON_SIZES}
    DEPENDS ${packaging_dir}/icons/tavolin.svg ${packaging_dir}/icons/render_icons.py
    COMMENT "Rendering the application icon"
    VERBATIM)
  add_custom_target(tavolin_icons ALL DEPENDS ${icon_pngs} ${TAVOLIN_ICON_ICO})
  foreach(size ${TAVOLIN_ICON_SIZES})
    install(FILES ${icon_dir}/tavolin-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tavolin.png)
  endforeach()
else()
  message(WARNING "rsvg-convert not found: the icon's bitmaps are neither made nor installed "
                  "(scripts/install-deps.sh installs librsvg2-bin)")
endif()
