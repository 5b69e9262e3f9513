# cmake -DROOT=<source folder> -P check_includes.cmake: fails when a source includes a header by a
# path climbing out of its folder ("../x.h"). Such an include would reach headers of modules the
# source's target does not link, past the include paths quenvale_headers gives each target.
file(GLOB_RECURSE sources LIST_DIRECTORIES false
  ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/src/*.in
  ${ROOT}/plugins/*.h ${ROOT}/plugins/*.cpp
  ${ROOT}/tests/*.h ${ROOT}/tests/*.cpp
  ${ROOT}/bench/*.h ${ROOT}/bench/*.cpp
  ${ROOT}/fuzz/*.h ${ROOT}/fuzz/*.cpp)
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\./")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH name ${ROOT} ${source})
    string(STRIP "${line}" line)
    string(APPEND found "\n  ${name}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "Include headers by their path below src/ (\"module/name.h\"), never with "
                      "../:${found}")
endif()
