# Signs one Windows program in place with Authenticode through osslsigncode:
#   cmake -DFILE=prog.exe -DPKCS12=key.p12 [-DPASSWORD_FILE=password.txt] [-DDESCRIPTION=text]
#         -P cmake/SignFile.cmake
# A failed signing removes the program, so that no unsigned build is taken for a signed one.
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  file(REMOVE ${FILE})
  message(FATAL_ERROR "osslsigncode not found (scripts/bootstrap installs it)")
endif()
set(password)
if(PASSWORD_FILE)
  set(password -readpass ${PASSWORD_FILE})
endif()
if(NOT DESCRIPTION)
  set(DESCRIPTION "VELDRAN Updater")
endif()
execute_process(
  COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${PKCS12} ${password} -h sha256 -n ${DESCRIPTION}
          -in ${FILE} -out ${FILE}.signed
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE ${FILE} ${FILE}.signed)
  message(FATAL_ERROR "signing ${FILE} failed: ${output}")
endif()
file(RENAME ${FILE}.signed ${FILE})
