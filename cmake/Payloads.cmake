# The packed payloads: a packres for the build machine, the two replacement files packed into
# containers, and the functions that link containers into a Windows program as RT_RCDATA
# resources.
#
#   payload_pack(OUTPUT container INPUT file [CUT_BYTES n])
#       packs file into container (a path in the build tree); CUT_BYTES drops the container's
#       last n bytes, for tests of short resources.
#   target_embed_payloads(target)
#       links the containers of UPDATE_EXE_FILE and UPDATE_DAT2_FILE as "EXE" and "DAT2".
#   target_embed_containers(target NAME container [NAME container ...])
#       links any containers under the given resource names.

set(PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payloads)
set(PAYLOAD_EXE ${PAYLOAD_DIR}/EXE.pack)
set(PAYLOAD_DAT2 ${PAYLOAD_DIR}/DAT2.pack)

if(CMAKE_CROSSCOMPILING)
  # Cross builds cannot run their own packres: compile one with the build machine's compiler.
  find_program(SETUP_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(host_sources tools/packres.cpp payload/pack.cpp payload/unpack.cpp base/stream.cpp base/failure.cpp)
  set(host_inputs)
  foreach(s IN LISTS host_sources)
    list(APPEND host_inputs ${PROJECT_SOURCE_DIR}/${s})
  endforeach()
  set(PACKRES ${CMAKE_BINARY_DIR}/host/packres)
  add_custom_command(OUTPUT ${PACKRES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${SETUP_HOST_CXX} -std=c++17 -O2 -pthread -fexec-charset=CP932 -I${PROJECT_SOURCE_DIR} ${host_inputs} -o ${PACKRES}
    DEPENDS ${host_inputs} ${PROJECT_SOURCE_DIR}/payload/pack.h ${PROJECT_SOURCE_DIR}/payload/unpack.h
            ${PROJECT_SOURCE_DIR}/payload/token_tables.h
            ${PROJECT_SOURCE_DIR}/base/stream.h ${PROJECT_SOURCE_DIR}/base/failure.h
    COMMENT "Building packres for the build machine"
    VERBATIM)
  add_custom_target(packres_host DEPENDS ${PACKRES})
  set(PACKRES_DEPENDS ${PACKRES})
else()
  set(PACKRES $<TARGET_FILE:packres>)
  set(PACKRES_DEPENDS packres)
endif()

function(payload_pack)
  cmake_parse_arguments(ARG "" "OUTPUT;INPUT;CUT_BYTES" "" ${ARGN})
  get_filename_component(dir ${ARG_OUTPUT} DIRECTORY)
  set(cut)
  if(ARG_CUT_BYTES)
    set(cut COMMAND sh -c "head -c -${ARG_CUT_BYTES} \"$0\" > \"$0.cut\" && mv \"$0.cut\" \"$0\"" ${ARG_OUTPUT})
  endif()
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${PACKRES} pack ${ARG_INPUT} ${ARG_OUTPUT}
    ${cut}
    DEPENDS ${ARG_INPUT} ${PACKRES_DEPENDS}
    COMMENT "Packing ${ARG_INPUT}"
    VERBATIM)
endfunction()

payload_pack(OUTPUT ${PAYLOAD_EXE} INPUT ${UPDATE_EXE_FILE})
payload_pack(OUTPUT ${PAYLOAD_DAT2} INPUT ${UPDATE_DAT2_FILE})
add_custom_target(payloads ALL DEPENDS ${PAYLOAD_EXE} ${PAYLOAD_DAT2})

function(target_embed_containers target)
  if(NOT WIN32)
    return()
  endif()
  list(GET ARGN 0 first)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_${first}.rc)
  set(text "// Generated: packed containers linked as RT_RCDATA resources.\nLANGUAGE 0, 0\n")
  set(files)
  while(ARGN)
    list(POP_FRONT ARGN name file)
    string(APPEND text "${name} RCDATA \"${file}\"\n")
    list(APPEND files ${file})
  endwhile()
  file(GENERATE OUTPUT ${rc} CONTENT "${text}")
  target_sources(${target} PRIVATE ${rc})
  # A changed container (or replacement file) relinks the program.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${files}" GENERATED TRUE)
endfunction()

function(target_embed_payloads target)
  target_embed_containers(${target} EXE ${PAYLOAD_EXE} DAT2 ${PAYLOAD_DAT2})
  if(WIN32)
    add_dependencies(${target} payloads)
  endif()
endfunction()
