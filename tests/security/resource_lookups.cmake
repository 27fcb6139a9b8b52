# Fails when the program's code looks a resource up by a name written in place: every name it
# loads comes from resources/resource_names.h, whose table the check of the built program
# (pecheck --resources) demands, so a name written elsewhere would escape that check.
#   cmake -DROOT=source-folder -P resource_lookups.cmake
set(lookup "(LoadBitmap|LoadIcon|LoadImage|LoadCursor|FindResource|FindResourceEx)[AW]?\\([^;]*\"")
set(found 0)
foreach(dir base payload location ui dialogs windows)
  file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.h")
  foreach(source IN LISTS sources)
    file(STRINGS "${ROOT}/${source}" lines REGEX "${lookup}")
    foreach(line IN LISTS lines)
      message("${source}: ${line}")
      math(EXPR found "${found} + 1")
    endforeach()
  endforeach()
endforeach()
if(found GREATER 0)
  message(FATAL_ERROR "resource names written in place (take them from resources/resource_names.h)")
endif()
message("every resource lookup takes its name from resources/resource_names.h")
