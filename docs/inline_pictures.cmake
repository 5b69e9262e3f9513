# cmake -DIN=raw.html -DOUT=page.html -DPICTURES=folder -P inline_pictures.cmake
# Writes the HTML page with every <img> of a PNG file of PICTURES inlined as a data: address, at
# the picture's own size, so the page needs no files beside it.
file(READ "${IN}" html)
string(REGEX MATCHALL "<img [^>]*>" tags "${html}")
list(REMOVE_DUPLICATES tags)
foreach(tag IN LISTS tags)
  if(NOT tag MATCHES "src=\"([^\"]+\\.png)\"")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  if(NOT EXISTS "${PICTURES}/${name}")
    message(FATAL_ERROR "inline_pictures: ${PICTURES}/${name} is missing")
  endif()
  execute_process(COMMAND base64 -w0 "${PICTURES}/${name}" OUTPUT_VARIABLE data
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "inline_pictures: base64 failed on ${name}")
  endif()
  string(REGEX REPLACE "\\.png$" "" alt "${name}")
  string(REPLACE "_" " " alt "${alt}")
  string(REPLACE "${tag}" "<img src=\"data:image/png;base64,${data}\" alt=\"${alt}\">" html
    "${html}")
endforeach()
file(WRITE "${OUT}" "${html}")
