# Extracts the marked texts of the sources into POT and merges it into each language's .po.
# -DXGETTEXT -DMSGMERGE -DMSGATTRIB -DSOURCE_DIR -DPOT -DLANGUAGES; with -DCHECK_ONLY=ON it writes the
# extraction to POT only (the catalogue test compares it with the .po files).
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/plugins/*.c ${SOURCE_DIR}/plugins/*.cpp)
list(SORT sources)
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrQ --keyword=N_
          --keyword=TrN:1,2 --keyword=TrCtx:1c,2 --keyword=NC_:1c,2 --add-comments=TRANSLATORS: --package-name=Quenvale
          --add-location=file --sort-by-file -o ${POT} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "xgettext failed")
endif()
if(CHECK_ONLY)
  return()
endif()
foreach(lang IN LISTS LANGUAGES)
  execute_process(
    COMMAND ${MSGMERGE} --quiet --update --backup=none --no-fuzzy-matching --add-location=file --sort-by-file
            ${SOURCE_DIR}/po/${lang}.po ${POT}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "msgmerge ${lang}.po failed")
  endif()
  # Texts the sources no longer have are dropped, not kept as obsolete entries.
  if(MSGATTRIB)
    execute_process(COMMAND ${MSGATTRIB} --no-obsolete -o ${SOURCE_DIR}/po/${lang}.po
                            ${SOURCE_DIR}/po/${lang}.po)
  endif()
endforeach()
