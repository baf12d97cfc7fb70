# Runs lupdate over a copy of each .ts file: the translation is complete when
# the sources bring no new text (unfinished) and have lost none (vanished).
# cmake -DLUPDATE=... -DSOURCES=dir -DTS_FILES="a.ts;b.ts" -DWORK=dir -P CheckTranslations.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(faults "")
foreach(ts ${TS_FILES})
  get_filename_component(name "${ts}" NAME)
  file(COPY "${ts}" DESTINATION "${WORK}")
  execute_process(COMMAND "${LUPDATE}" -silent -locations none "${SOURCES}" -ts "${WORK}/${name}"
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}")
  endif()
  file(STRINGS "${WORK}/${name}" lines REGEX "type=\"(unfinished|vanished|obsolete)\"")
  list(LENGTH lines count)
  if(count GREATER 0)
    string(APPEND faults "${name}: ${count} messages untranslated or gone (run the quorvane_lupdate target and translate them)\n")
  endif()
endforeach()
if(faults)
  message(FATAL_ERROR "${faults}")
endif()
