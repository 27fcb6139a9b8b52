# Signing with a throw-away certificate: the build's signing script signs SETUP.exe and the
# signature verifies; make-setup's output carries none until it is signed again with the
# command the README gives, after which it verifies too.
#   cmake -DSETUP=SETUP.exe -DPACKRES=packres -DEXE=file -DDAT2=file -DWORK=dir -DSOURCE=repo -P sign_test.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(result ${result} PARENT_SCOPE)
  set(output "${output}" PARENT_SCOPE)
endfunction()
function(must)
  run(${ARGN})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/password.txt "throw-away\n")
must(openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throw-away test publisher"
     -keyout ${WORK}/key.pem -out ${WORK}/cert.pem)
must(openssl pkcs12 -export -inkey ${WORK}/key.pem -in ${WORK}/cert.pem -out ${WORK}/key.p12
     -passout file:${WORK}/password.txt)

file(COPY_FILE ${SETUP} ${WORK}/SETUP.exe)
must(${CMAKE_COMMAND} -DFILE=${WORK}/SETUP.exe -DPKCS12=${WORK}/key.p12 -DPASSWORD_FILE=${WORK}/password.txt
     -P ${SOURCE}/cmake/SignFile.cmake)
must(osslsigncode verify -CAfile ${WORK}/cert.pem -in ${WORK}/SETUP.exe)

# A copy with one program byte changed must not verify: the check looks at the bytes.
file(COPY_FILE ${WORK}/SETUP.exe ${WORK}/tampered.exe)
must(sh -c "printf X | dd of=\"$0\" bs=1 seek=4096 conv=notrunc" ${WORK}/tampered.exe)
run(osslsigncode verify -CAfile ${WORK}/cert.pem -in ${WORK}/tampered.exe)
if(result EQUAL 0)
  message(FATAL_ERROR "a tampered program verifies")
endif()

must(${PACKRES} make-setup ${WORK}/SETUP.exe ${WORK}/MADE.exe --exe ${EXE} --dat2 ${DAT2})
run(osslsigncode verify -CAfile ${WORK}/cert.pem -in ${WORK}/MADE.exe)
if(result EQUAL 0)
  message(FATAL_ERROR "make-setup's output still verifies with the stub's signature")
endif()
# The README's command.
must(osslsigncode sign -pkcs12 ${WORK}/key.p12 -readpass ${WORK}/password.txt -h sha256 -n "VELDRAN Updater"
     -in ${WORK}/MADE.exe -out ${WORK}/MADE-signed.exe)
must(osslsigncode verify -CAfile ${WORK}/cert.pem -in ${WORK}/MADE-signed.exe)
file(REMOVE_RECURSE ${WORK})
