# Helpers shared by every folder: warning flags, Shift-JIS literals, sanitizer twins and test registration.

option(SETUP_SANITIZERS "Also build the native unit tests with AddressSanitizer and UBSan" ON)
option(SETUP_FUZZ "Fuzz build (clang): everything instrumented for libFuzzer; only fuzz tests" OFF)

# Literals are stored as Shift-JIS. Clang only encodes UTF-8, so the fuzz build keeps that; the
# fuzzed code holds no Japanese literals, only the failure messages do.
set(SETUP_EXEC_CHARSET CP932)
if(SETUP_FUZZ)
  set(SETUP_SANITIZERS OFF)
  set(SETUP_EXEC_CHARSET UTF-8)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(SETUP_NATIVE_ASAN OFF)
if(NOT WIN32 AND SETUP_SANITIZERS)
  set(SETUP_NATIVE_ASAN ON)
endif()
set(SETUP_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

if(NOT WIN32)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# Project code: strict warnings, Japanese literals stored as Shift-JIS bytes.
function(setup_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -fexec-charset=${SETUP_EXEC_CHARSET})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(WIN32)
    target_compile_definitions(${target} PUBLIC STRICT NOMINMAX WINVER=0x0601 _WIN32_WINNT=0x0601)
    # Stack canaries; -static links their small runtime in, so no DLL comes with them.
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
    target_link_options(${target} PUBLIC -static -static-libgcc -static-libstdc++ -fstack-protector-strong)
  endif()
endfunction()

# setup_sanitized(target PUBLIC|PRIVATE libs...): the sanitizer twin of a target, linked to the
# twins of its project libraries (external ones as they are).
function(setup_sanitized target scope)
  setup_flags(${target})
  target_compile_options(${target} ${scope} ${SETUP_SAN_FLAGS})
  target_link_options(${target} ${scope} ${SETUP_SAN_FLAGS})
  set(links)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib}_asan)
      list(APPEND links ${lib}_asan)
    else()
      list(APPEND links ${lib})
    endif()
  endforeach()
  target_link_libraries(${target} ${scope} ${links})
endfunction()

# setup_library(NAME SOURCES ... [LINK ...]): a static library; on native builds also NAME_asan.
function(setup_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  setup_flags(${name})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
  if(SETUP_NATIVE_ASAN)
    add_library(${name}_asan STATIC ${ARG_SOURCES})
    setup_sanitized(${name}_asan PUBLIC ${ARG_LINK})
  endif()
endfunction()

# setup_unit_test(NAME SOURCES ... [LINK ...]): a native GoogleTest program, plus its sanitizer twin.
function(setup_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  if(WIN32 OR SETUP_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  setup_flags(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60)
  if(SETUP_NATIVE_ASAN)
    add_executable(${name}_asan ${ARG_SOURCES})
    setup_sanitized(${name}_asan PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
    # One CTest entry for the whole sanitizer run keeps the summary readable.
    add_test(NAME ${name}_asan COMMAND ${name}_asan)
    set_tests_properties(${name}_asan PROPERTIES
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
  endif()
endfunction()

# setup_host_program(NAME SOURCES ... [DEPENDS headers...]): in a cross build, a program for the
# build machine itself, made with its own compiler from sources named relative to the project.
# NAME_HOST receives the program's path; the target NAME_host builds it with everything.
if(CMAKE_CROSSCOMPILING)
  find_program(SETUP_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
endif()
function(setup_host_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  set(sources)
  foreach(s IN LISTS ARG_SOURCES)
    list(APPEND sources ${PROJECT_SOURCE_DIR}/${s})
  endforeach()
  set(headers)
  foreach(h IN LISTS ARG_DEPENDS)
    list(APPEND headers ${PROJECT_SOURCE_DIR}/${h})
  endforeach()
  set(program ${CMAKE_BINARY_DIR}/host/${name})
  add_custom_command(OUTPUT ${program}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${SETUP_HOST_CXX} -std=c++17 -O2 -fexec-charset=CP932 -I${PROJECT_SOURCE_DIR} ${sources} -o ${program}
    DEPENDS ${sources} ${headers}
    COMMENT "Building ${name} for the build machine"
    VERBATIM)
  add_custom_target(${name}_host ALL DEPENDS ${program})
  set(${name}_HOST ${program} PARENT_SCOPE)
endfunction()

# Wine tests run only from the win64 build: 32-bit Wine cannot run on these machines.
set(SETUP_WINE_TESTS OFF)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SETUP_WINE_TESTS ON)
endif()

# setup_wine_test(NAME name [TIMEOUT s] [RUNNER ...] COMMAND target args...):
# runs a win64 program in a fresh copy of the test Wine prefix; RUNNER holds wine-run options
# (drives, registry files, working folder). The program's exit code is the test's result.
function(setup_wine_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "RUNNER;COMMAND" ${ARGN})
  if(NOT SETUP_WINE_TESTS)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  list(POP_FRONT ARG_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  add_test(NAME ${ARG_NAME}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run --timeout ${ARG_TIMEOUT} ${ARG_RUNNER} -- ${program} ${ARG_COMMAND})
  math(EXPR ctest_timeout "${ARG_TIMEOUT} + 60")
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT ${ctest_timeout} LABELS wine)
endfunction()

# The loader's protections: a relocatable image placed at random (with high-entropy addresses
# where the address space allows them), data never executable, no terminal-server shims.
set(SETUP_HARDENING_LINK_OPTIONS -Wl,--dynamicbase,--nxcompat,--tsaware)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  list(APPEND SETUP_HARDENING_LINK_OPTIONS -Wl,--high-entropy-va)
endif()

# Windows GUI program: no console, everything linked in, hardened.
function(setup_windows_program name)
  cmake_parse_arguments(ARG "CONSOLE" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  setup_flags(${name})
  target_link_options(${name} PRIVATE ${SETUP_HARDENING_LINK_OPTIONS})
  if(NOT ARG_CONSOLE)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
  # Shipped builds carry no symbols.
  target_link_options(${name} PRIVATE $<$<CONFIG:MinSizeRel,Release>:-s>)
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
endfunction()
