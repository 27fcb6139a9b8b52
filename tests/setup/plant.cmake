# Makes the planting test's download folder: the program, a marker DLL under every name a DLL
# planted beside it could take, and the environment that makes Wine prefer DLLs found there.
#   cmake -DPECHECK=host/pecheck -DPROGRAM=SETUP.exe -DPLANTED=planted.dll -DFOLDER=dir
#         -DENV_FILE=file -P plant.cmake
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
file(COPY_FILE ${PROGRAM} ${FOLDER}/SETUP.exe)
execute_process(COMMAND ${PECHECK} --plantable ${PROGRAM} OUTPUT_VARIABLE names RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${PROGRAM}")
endif()
string(REGEX MATCHALL "[^\n]+" names "${names}")
if(NOT names)
  # Without a name the test would pass whatever the program does.
  message(FATAL_ERROR "${PROGRAM} names no DLL that could be planted: nothing to test")
endif()
set(modules)
foreach(name IN LISTS names)
  file(COPY_FILE ${PLANTED} ${FOLDER}/${name})
  string(REGEX REPLACE "[.]dll$" "" module ${name})
  list(APPEND modules ${module})
endforeach()
list(JOIN modules "," modules)
# The runner's own overrides stay.
file(WRITE ${ENV_FILE} "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=;${modules}=n,b\n")
message(STATUS "planted beside ${PROGRAM}: ${names}")
