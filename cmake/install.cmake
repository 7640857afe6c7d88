# What `cmake --install build [--prefix P]` puts where a Debian desktop looks for it; the
# .deb (cmake/package.cmake) is made from these same rules. One install() per artefact.
include(GNUInstallDirs)
find_package(PNG REQUIRED)

set(GLOSSMARK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/glossmark)
set(GLOSSMARK_ICON_SIZES 16 32 48 64 128)

# The program finds its data from its own directory, so the prefix may change at install time.
file(RELATIVE_PATH data_from_bin ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/glossmark)
set_property(SOURCE src/platform/platform.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS GLOSSMARK_DATA_FROM_BIN="${data_from_bin}/")

install(TARGETS glossmark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/help.txt DESTINATION ${GLOSSMARK_DATA_DIR})
install(FILES desktop/glossmark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES desktop/org.example.glossmark.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Theme icons drawn from the window icon's pixels.
add_executable(icon_png desktop/icon_png.cpp)
target_include_directories(icon_png PRIVATE resources)
target_link_libraries(icon_png PRIVATE PNG::PNG)
set(icon_files)
foreach(size ${GLOSSMARK_ICON_SIZES})
  set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/glossmark.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
    COMMAND icon_png ${size} ${icon}
    DEPENDS icon_png VERBATIM)
  list(APPEND icon_files ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(icons ALL DEPENDS ${icon_files})

# Manual pages from man/, compressed as Debian keeps them. A new page is one more call.
add_custom_target(man_pages ALL)
function(glossmark_man_page name section)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.${section})
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/man/${name}.${section} ${page}
    COMMAND gzip -9nf ${page}
    DEPENDS man/${name}.${section} VERBATIM)
  add_custom_target(man_${name} DEPENDS ${page}.gz)
  add_dependencies(man_pages man_${name})
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
glossmark_man_page(glossmark 1)

# glossmark-tags, the display-free tool for tag files, beside glossmark.
install(TARGETS glossmark-tags RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
glossmark_man_page(glossmark-tags 1)
