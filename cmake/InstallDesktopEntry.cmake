# Runs at install time (install(CODE) in cmake/Packaging.cmake), when the
# prefix is known for certain: `cmake --install --prefix` and CPack may both
# choose another than the one configured.
#
# Installs the updater's menu entry, tarnwick-updater.desktop, and its icon in
# the hicolor theme: every PNG size and the SVG as the scalable one. Under a
# prefix in /opt (the default /opt/tarnwick, and the Debian package) they go
# to /usr/share, where desktops look for them; under any other prefix, to
# <prefix>/share with the rest. Either way the entry starts <prefix>/updater.
#
# Expects: TARNWICK_DESKTOP_TEMPLATE, TARNWICK_DESKTOP_STAGING (a folder of
# the build tree), TARNWICK_ICON_SVG, TARNWICK_ICON_DIR, TARNWICK_ICON_SIZES.

set(name tarnwick-updater)

# A path as a Desktop Entry Exec value: quoted when it holds a character the
# Exec syntax reserves, with ", `, $ and \ escaped inside the quotes; then %
# doubled (field codes) and \ doubled once more, as every string value is.
function(desktop_exec_value path out)
  if(path MATCHES "[\r\n]")
    message(FATAL_ERROR "The updater's path cannot be written to a desktop entry: ${path}")
  endif()
  set(value "${path}")
  if(value MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" value "${value}")
    set(value "\"${value}\"")
  endif()
  string(REPLACE "%" "%%" value "${value}")
  string(REPLACE "\\" "\\\\" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

if(CMAKE_INSTALL_PREFIX MATCHES "^/opt/")
  set(share /usr/share)
else()
  set(share ${CMAKE_INSTALL_PREFIX}/share)
endif()

desktop_exec_value("${CMAKE_INSTALL_PREFIX}/updater" TARNWICK_DESKTOP_EXEC)
configure_file(${TARNWICK_DESKTOP_TEMPLATE} ${TARNWICK_DESKTOP_STAGING}/${name}.desktop @ONLY)
file(INSTALL ${TARNWICK_DESKTOP_STAGING}/${name}.desktop DESTINATION ${share}/applications)

set(hicolor ${share}/icons/hicolor)
foreach(size IN LISTS TARNWICK_ICON_SIZES)
  file(INSTALL ${TARNWICK_ICON_DIR}/tarnwick-${size}.png
       DESTINATION ${hicolor}/${size}x${size}/apps RENAME ${name}.png)
endforeach()
file(INSTALL ${TARNWICK_ICON_SVG} DESTINATION ${hicolor}/scalable/apps RENAME ${name}.svg)
