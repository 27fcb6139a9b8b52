# Optional Authenticode signing of the programs a publisher ships, after they are linked:
#   cmake --preset win32 -DSIGN_PKCS12=/path/key.p12 -DSIGN_PASSWORD_FILE=/path/password.txt
#
#   setup_sign(target)   signs the target's program when SIGN_PKCS12 is set (Windows builds).
set(SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file (certificate and private key) that signs SETUP.exe and packres.exe")
set(SIGN_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the PKCS#12 file's password")

function(setup_sign target)
  if(NOT WIN32 OR NOT SIGN_PKCS12)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DPKCS12=${SIGN_PKCS12}
            -DPASSWORD_FILE=${SIGN_PASSWORD_FILE} -P ${PROJECT_SOURCE_DIR}/cmake/SignFile.cmake
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
