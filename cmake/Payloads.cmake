# The packed payloads: a packres for the build machine, the two replacement files packed into
# containers, and the functions that link containers into a Windows program as RT_RCDATA
# resources.
#
#   payload_pack(OUTPUT container INPUT file [LIMIT bytes] [CUT_BYTES n])
#       packs file into container (a path in the build tree), refusing a file over LIMIT bytes;
#       CUT_BYTES drops the container's last n bytes, for tests of short resources.
#   payload_sums(OUTPUT sums [LIMIT bytes] NAME=file [NAME=file ...])
#       writes the "SUMS" digest resource: the SHA-256 of each file under its payload name,
#       refusing files of more than LIMIT bytes together.
#   target_embed_payloads(target)
#       links the containers of UPDATE_EXE_FILE and UPDATE_DAT2_FILE as "EXE" and "DAT2", and
#       their digests as "SUMS".
#   target_embed_containers(target NAME container [NAME container ...])
#       links any containers under the given resource names.

set(PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payloads)
set(PAYLOAD_EXE ${PAYLOAD_DIR}/EXE.pack)
set(PAYLOAD_DAT2 ${PAYLOAD_DIR}/DAT2.pack)
set(PAYLOAD_SUMS ${PAYLOAD_DIR}/SUMS.bin)
# What SETUP.exe can carry: the two files together up to 1 GiB (kMaxPayloads, tools/make_setup.h).
set(UPDATE_PAYLOAD_LIMIT 1073741824)

set(SETUP_HOST_TOOLS_DIR "" CACHE PATH
    "Cross builds: a folder holding packres and pecheck built for this machine (empty: build them)")
if(CMAKE_CROSSCOMPILING AND SETUP_HOST_TOOLS_DIR)
  # The native build's tools, as scripts/build hands them on: nothing to build twice.
  set(PACKRES ${SETUP_HOST_TOOLS_DIR}/packres${CMAKE_HOST_EXECUTABLE_SUFFIX})
  set(PECHECK ${SETUP_HOST_TOOLS_DIR}/pecheck${CMAKE_HOST_EXECUTABLE_SUFFIX})
  set(PACKRES_DEPENDS ${PACKRES})
elseif(CMAKE_CROSSCOMPILING)
  # Cross builds cannot run their own packres: a host build of this same source, limited to the
  # build machine's tools (SETUP_HOST_TOOLS), makes one, and the header check of the shipped
  # programs, with the build machine's compiler.
  include(ExternalProject)
  set(host ${CMAKE_BINARY_DIR}/host)
  set(PACKRES ${host}/bin/packres${CMAKE_HOST_EXECUTABLE_SUFFIX})
  set(PECHECK ${host}/bin/pecheck${CMAKE_HOST_EXECUTABLE_SUFFIX})
  ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${host}
    CMAKE_ARGS -DSETUP_HOST_TOOLS=ON -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target packres pecheck
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS ${PACKRES} ${PECHECK}
    INSTALL_COMMAND "")
  set(PACKRES_DEPENDS host_tools)
else()
  set(PACKRES $<TARGET_FILE:packres>)
  set(PACKRES_DEPENDS packres)
endif()

function(payload_pack)
  cmake_parse_arguments(ARG "" "OUTPUT;INPUT;LIMIT;CUT_BYTES" "" ${ARGN})
  set(limit)
  if(ARG_LIMIT)
    set(limit --limit ${ARG_LIMIT})
  endif()
  get_filename_component(dir ${ARG_OUTPUT} DIRECTORY)
  set(cut)
  if(ARG_CUT_BYTES)
    # POSIX tools only: keep all but the last bytes, read as one block.
    set(cut COMMAND sh -c "dd if=\"$0\" of=\"$0.cut\" bs=$(($(wc -c < \"$0\") - $1)) count=1 2>/dev/null && mv \"$0.cut\" \"$0\""
        ${ARG_OUTPUT} ${ARG_CUT_BYTES})
  endif()
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${PACKRES} pack ${limit} ${ARG_INPUT} ${ARG_OUTPUT}
    ${cut}
    DEPENDS ${ARG_INPUT} ${PACKRES_DEPENDS}
    COMMENT "Packing ${ARG_INPUT}"
    VERBATIM)
endfunction()

function(payload_sums)
  cmake_parse_arguments(ARG "" "OUTPUT;LIMIT" "" ${ARGN})
  set(limit)
  if(ARG_LIMIT)
    set(limit --limit ${ARG_LIMIT})
  endif()
  set(inputs)
  foreach(entry IN LISTS ARG_UNPARSED_ARGUMENTS)
    string(REGEX REPLACE "^[^=]*=" "" file ${entry})
    list(APPEND inputs ${file})
  endforeach()
  get_filename_component(dir ${ARG_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${PACKRES} sums ${limit} ${ARG_OUTPUT} ${ARG_UNPARSED_ARGUMENTS}
    DEPENDS ${inputs} ${PACKRES_DEPENDS}
    COMMENT "Recording the digests of ${inputs}"
    VERBATIM)
endfunction()

payload_pack(OUTPUT ${PAYLOAD_EXE} INPUT ${UPDATE_EXE_FILE} LIMIT ${UPDATE_PAYLOAD_LIMIT})
payload_pack(OUTPUT ${PAYLOAD_DAT2} INPUT ${UPDATE_DAT2_FILE} LIMIT ${UPDATE_PAYLOAD_LIMIT})
payload_sums(OUTPUT ${PAYLOAD_SUMS} LIMIT ${UPDATE_PAYLOAD_LIMIT} EXE=${UPDATE_EXE_FILE} DAT2=${UPDATE_DAT2_FILE})
add_custom_target(payloads ALL DEPENDS ${PAYLOAD_EXE} ${PAYLOAD_DAT2} ${PAYLOAD_SUMS})

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
  target_embed_containers(${target} EXE ${PAYLOAD_EXE} DAT2 ${PAYLOAD_DAT2} SUMS ${PAYLOAD_SUMS})
  if(WIN32)
    add_dependencies(${target} payloads)
  endif()
endfunction()
