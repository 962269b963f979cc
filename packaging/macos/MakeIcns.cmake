# Turns the one square source image into the .icns a bundle names in its
# Info.plist. Run with -DSOURCE=png -DOUTPUT=icns on macOS (sips, iconutil).
get_filename_component(work "${OUTPUT}" DIRECTORY)
set(iconset "${work}/AppIcon.iconset")
file(REMOVE_RECURSE "${iconset}")
file(MAKE_DIRECTORY "${iconset}")
foreach(size 16 32 128 256 512)
  math(EXPR double "${size} * 2")
  foreach(variant "${size};icon_${size}x${size}.png" "${double};icon_${size}x${size}@2x.png")
    list(GET variant 0 pixels)
    list(GET variant 1 name)
    execute_process(COMMAND sips -z ${pixels} ${pixels} "${SOURCE}" --out "${iconset}/${name}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endforeach()
execute_process(COMMAND iconutil -c icns -o "${OUTPUT}" "${iconset}" COMMAND_ERROR_IS_FATAL ANY)
