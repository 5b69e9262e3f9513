# The catalogue test: every text marked in the sources is in each language's .po file and
# translated (not fuzzy), and no .po file keeps a text the sources no longer have.
# -DXGETTEXT -DMSGMERGE -DMSGATTRIB -DSOURCE_DIR -DWORK_DIR -DLANGUAGES
set(POT ${WORK_DIR}/extracted.pot)
execute_process(COMMAND ${CMAKE_COMMAND} -DXGETTEXT=${XGETTEXT} -DSOURCE_DIR=${SOURCE_DIR}
                        -DPOT=${POT} -DCHECK_ONLY=ON -P ${SOURCE_DIR}/po/update_po.cmake
                RESULT_VARIABLE result ERROR_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "extracting the texts failed")
endif()
set(failed FALSE)
foreach(lang IN LISTS LANGUAGES)
  set(merged ${WORK_DIR}/${lang}.merged.po)
  execute_process(COMMAND ${MSGMERGE} --quiet --no-fuzzy-matching -o ${merged}
                          ${SOURCE_DIR}/po/${lang}.po ${POT}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "msgmerge ${lang}.po failed")
  endif()
  foreach(kind untranslated only-fuzzy only-obsolete)
    execute_process(COMMAND ${MSGATTRIB} --${kind} ${merged} OUTPUT_VARIABLE entries)
    if(NOT entries STREQUAL "")
      string(REPLACE "only-" "" what ${kind})
      if(kind STREQUAL "only-obsolete")
        set(what "no longer in the sources")
      endif()
      message(SEND_ERROR "po/${lang}.po: texts ${what} (run `cmake --build build --target update-po` "
                         "and translate them):\n${entries}")
      set(failed TRUE)
    endif()
  endforeach()
endforeach()
if(failed)
  message(FATAL_ERROR "the catalogues are not complete")
endif()
