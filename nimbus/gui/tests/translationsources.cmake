# Fails when a text the sources put through QCoreApplication::translate or
# QT_TRANSLATE_NOOP has no finished translation in the catalogue TS.
#   cmake -DLUPDATE=... -DTS=... -DSOURCES=... -DWORK=... -P translationsources.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
configure_file(${TS} ${WORK}/check.ts COPYONLY)
execute_process(COMMAND ${LUPDATE} -silent -locations none -no-obsolete -extensions cpp,h ${SOURCES} -ts ${WORK}/check.ts
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${status}): ${out}")
endif()
file(READ ${WORK}/check.ts merged)
# lupdate marks what it found without a translation as unfinished.
string(REGEX MATCHALL "<source>[^<]*</source>[^<]*(<comment>[^<]*</comment>[^<]*)?<translation type=\"unfinished\"" missing "${merged}")
if(missing)
  string(REPLACE ";" "\n" missing "${missing}")
  message(FATAL_ERROR "texts without a finished translation in ${TS}:\n${missing}")
endif()
message(STATUS "every translated text of the sources has a finished translation")
