# cmake -DGROFF=groff -DPAGE=page.1 -P check_man_page.cmake
# Fails when groff formats the man page with any warning.
execute_process(COMMAND "${GROFF}" -man -ww -z -Tutf8 -K utf8 "${PAGE}"
  RESULT_VARIABLE failed ERROR_VARIABLE warnings)
if(failed OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE}:\n${warnings}")
endif()
