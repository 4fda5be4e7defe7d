# The program's icon, rendered at build time from its one drawing,
# updater/icon/tarnwick.svg, into build/icon/:
#   tarnwick-<N>.png  one per size in TARNWICK_ICON_SIZES (the desktop's
#                     hicolor icons and the Linux window's icon list)
#   tarnwick.ico      every size in one Windows icon (Windows builds only)
# The target tarnwick_icon makes them; whatever uses them depends on it.
#
# rsvg-convert (librsvg2-bin) renders each size from the vector drawing, so
# the small sizes stay sharp instead of being scaled down from a large one;
# icotool (icoutils) packs the .ico.

set(TARNWICK_ICON_SVG ${PROJECT_SOURCE_DIR}/updater/icon/tarnwick.svg)
set(TARNWICK_ICON_SIZES 16 24 32 48 64 128 256)
set(TARNWICK_ICON_DIR ${CMAKE_BINARY_DIR}/icon)

# Build tools that run on this machine, even when cross-building.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

set(TARNWICK_ICON_PNGS "")
foreach(size IN LISTS TARNWICK_ICON_SIZES)
  set(png ${TARNWICK_ICON_DIR}/tarnwick-${size}.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNWICK_ICON_DIR}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --format=png
            --output=${png} ${TARNWICK_ICON_SVG}
    DEPENDS ${TARNWICK_ICON_SVG}
    COMMENT "Rendering the ${size} px icon"
    VERBATIM)
  list(APPEND TARNWICK_ICON_PNGS ${png})
endforeach()
set(icon_outputs ${TARNWICK_ICON_PNGS})

if(WIN32)
  find_program(ICOTOOL icotool REQUIRED)
  set(TARNWICK_ICON_ICO ${TARNWICK_ICON_DIR}/tarnwick.ico)
  # The 256 px image goes in as PNG, which Windows reads since Vista: some
  # 4 KB instead of 260 KB as a bitmap. The smaller ones stay bitmaps.
  set(bitmaps ${TARNWICK_ICON_PNGS})
  list(FILTER bitmaps EXCLUDE REGEX "-256\\.png$")
  add_custom_command(
    OUTPUT ${TARNWICK_ICON_ICO}
    COMMAND ${ICOTOOL} --create --output=${TARNWICK_ICON_ICO} ${bitmaps}
            --raw=${TARNWICK_ICON_DIR}/tarnwick-256.png
    DEPENDS ${TARNWICK_ICON_PNGS}
    COMMENT "Packing the Windows icon"
    VERBATIM)
  list(APPEND icon_outputs ${TARNWICK_ICON_ICO})
endif()

add_custom_target(tarnwick_icon ALL DEPENDS ${icon_outputs})

# Adds to `target` a source that holds every PNG size as bytes, defining
#   std::span<const std::span<const unsigned char>> platform::WindowIconPngs()
# so that a program shows its icon wherever it runs from, the build tree too.
function(tarnwick_embed_icon target)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/window_icon_pngs.cpp)
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${source} "-DPNGS=${TARNWICK_ICON_PNGS}"
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedIconPngs.cmake
    DEPENDS ${TARNWICK_ICON_PNGS} ${PROJECT_SOURCE_DIR}/cmake/EmbedIconPngs.cmake
    COMMENT "Embedding the icon's PNG sizes"
    VERBATIM)
  target_sources(${target} PRIVATE ${source})
  add_dependencies(${target} tarnwick_icon)
endfunction()
