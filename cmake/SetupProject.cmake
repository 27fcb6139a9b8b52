# Helpers shared by every folder: warning flags, Shift-JIS literals and test registration.

option(SETUP_SANITIZE "Sanitizer build: everything with AddressSanitizer and UBSan; unit tests only" OFF)
option(SETUP_FUZZ "Fuzz build (clang): everything instrumented for libFuzzer; only fuzz tests" OFF)

# Literals are stored as Shift-JIS. Clang only encodes UTF-8, so the fuzz build keeps that; the
# fuzzed code holds no Japanese literals, only the failure messages do.
set(SETUP_EXEC_CHARSET CP932)
if(SETUP_FUZZ)
  set(SETUP_EXEC_CHARSET UTF-8)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The sanitizer build (preset asan) instruments every target of the tree; it builds and runs
# only the unit tests (target unit_tests), at -O1 with debug information: readable reports,
# and quicker to build than -O2.
if(SETUP_SANITIZE)
  add_compile_options(-O1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# GoogleTest: the system's copy for the native build; compiled from Debian's source package for
# the other targets (32-bit Linux, MinGW), whose libraries the system does not carry.
set(SETUP_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT SETUP_FUZZ)
  if(CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${SETUP_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(WIN32)
      target_include_directories(gtest BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/gtest-mingw)
    endif()
    foreach(lib gtest gtest_main gmock gmock_main)
      if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

# Project code: strict warnings, Japanese literals stored as Shift-JIS bytes. Warnings are errors
# but in scripts/mutate's build, where a mutant that leaves a variable unused is still judged by
# the tests.
option(SETUP_WERROR "Warnings are errors" ON)
function(setup_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${SETUP_WERROR}>:-Werror>
                         -fexec-charset=${SETUP_EXEC_CHARSET})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(WIN32)
    target_compile_definitions(${target} PUBLIC STRICT NOMINMAX WINVER=0x0601 _WIN32_WINNT=0x0601)
    # Stack canaries; -static links their small runtime in, so no DLL comes with them.
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
    # Reproducible: no folder of the build machine in what is compiled (__FILE__ and the like).
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                                             -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
    target_link_options(${target} PUBLIC -static -static-libgcc -static-libstdc++ -fstack-protector-strong)
  endif()
endfunction()

# setup_library(NAME SOURCES ... [LINK ...]): a static library of project code.
function(setup_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  setup_flags(${name})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()

add_custom_target(unit_tests)

# setup_unit_test(NAME SOURCES ... [LINK ...] [COST seconds]): a native GoogleTest program, part of
# unit_tests. COST, where the program takes long run whole (the 32-bit and sanitizer builds), has
# CTest start it among the first, so that it does not end the run alone.
function(setup_unit_test name)
  cmake_parse_arguments(ARG "" "COST" "SOURCES;LINK" ${ARGN})
  if(WIN32 OR SETUP_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  setup_flags(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
  add_dependencies(unit_tests ${name})
  set(cost)
  if(ARG_COST)
    set(cost COST ${ARG_COST})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # The 32-bit build runs each program whole, through scripts/run-i386 (its emulator): one
    # emulator start per program instead of one per test.
    add_test(NAME native32.${name} COMMAND ${name})
    set_tests_properties(native32.${name} PROPERTIES LABELS native32 ${cost})
  elseif(SETUP_SANITIZE)
    # One CTest entry per program: a sanitizer run's summary stays readable.
    add_test(NAME asan.${name} COMMAND ${name})
    set_tests_properties(asan.${name} PROPERTIES LABELS asan ${cost}
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
  else()
    # Parameterised tests are named by their name generators alone: CMake's "pretty values" would
    # append the printed parameter, whose bytes (pointers among them) change from build to build.
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  endif()
endfunction()

# Wine tests run from both Windows builds, each named after its build (win32.*, win64.*). The
# win32 build is what ships and runs the whole suite where i386 programs run natively; there the
# win64 build runs only its smoke tests and skips the rest. Where they run only under emulation
# (qemu-i386), the win32 build runs its smoke set and the win64 build the whole suite; where they
# cannot run, wine-run skips every win32 test and the win64 build runs the whole suite. A skipped
# test is CTest "skipped", with the reason.
set(SETUP_WINE_TESTS OFF)
if(WIN32)
  set(SETUP_WINE_TESTS ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(SETUP_WINE_FLAVOUR win64)
  else()
    set(SETUP_WINE_FLAVOUR win32)
  endif()
endif()
# The Wine tests the win64 build runs even where the win32 build runs the whole suite.
set(SETUP_SMOKE_TESTS Setup.update_writes_both_files MessageDialog.completion_notice)
# The win32 tests that run where i386 programs are only emulated, at seconds a 32-bit Wine
# process: the update, a damaged payload refused, the first run's search, a failure reported
# under "Setup", the single-instance guard, and the updaters that make-setup makes (packres.exe
# included).
set(SETUP_EMULATED_TESTS
  Setup.update_writes_both_files Damage.damaged_executable_payload Setup.first_run_auto_search
  Setup.update_into_missing_folder Setup.second_instance_exits_1
  MakeSetup.made_updater_installs_the_new_files MakeSetup.windows_packres_makes_the_same_updater)

# The wine-run command line that starts this build's test programs.
set(SETUP_WINE_RUN ${PROJECT_SOURCE_DIR}/scripts/wine-run)
if(SETUP_WINE_FLAVOUR STREQUAL "win64")
  list(APPEND SETUP_WINE_RUN --fallback)
  foreach(smoke IN LISTS SETUP_SMOKE_TESTS)
    list(APPEND SETUP_WINE_RUN --smoke ${smoke})
  endforeach()
elseif(SETUP_WINE_FLAVOUR STREQUAL "win32")
  foreach(smoke IN LISTS SETUP_EMULATED_TESTS)
    list(APPEND SETUP_WINE_RUN --smoke ${smoke})
  endforeach()
  # Their CTest names, for scripts/test to report their times.
  list(TRANSFORM SETUP_EMULATED_TESTS PREPEND "win32." OUTPUT_VARIABLE emulated_names)
  string(JOIN "\n" emulated_names ${emulated_names})
  file(WRITE ${CMAKE_BINARY_DIR}/emulated_tests.txt "${emulated_names}\n")
  # Under emulation each win32 test program's x86_64 twin lists its tests, and a driver's twin
  # runs them, so that the shipped programs under test are the only 32-bit processes.
  get_filename_component(twin_dir ${CMAKE_BINARY_DIR}/../win64/bin ABSOLUTE)
  set(SETUP_TWIN_DIR ${twin_dir} CACHE PATH
      "The win64 build's test programs: where i386 programs are only emulated they list and drive the win32 tests")
endif()

# Tests that drive windows get a second attempt when the first fails (scripts/once-more, which
# records it for the run's count) and the label "windows"; no other test is run twice.
set(SETUP_RETRY ${PROJECT_SOURCE_DIR}/scripts/once-more)

# Where this build's Windows programs can run here, GoogleTest lists each program's tests and each
# becomes a CTest; where they cannot (32-bit programs on a machine without i386 support), a
# program is one CTest, which wine-run reports as skipped, saying why.
set(SETUP_WINE_LISTABLE OFF)
if(SETUP_WINE_FLAVOUR STREQUAL "win64")
  set(SETUP_WINE_LISTABLE ON)
elseif(SETUP_WINE_FLAVOUR STREQUAL "win32")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/i386-probe --wine RESULT_VARIABLE no_i386)
  if(NOT no_i386)
    set(SETUP_WINE_LISTABLE ON)
  endif()
endif()

# setup_wine_gtest(NAME [WINDOWS] [DRIVER] [TIMEOUT s] [SOURCES ...] [OBJECTS object-library] [LINK ...]
#                  [COPY targets-or-files...] [RUNNER wine-run options...] [FILTER gtest-filter]
#                  [SUFFIX name-suffix] [TREE tree] [WRAP command...] [PROPERTIES ...])
# A GoogleTest program for Windows, run under Wine: each of its tests is the CTest
# <flavour>.Suite.name, in a fresh Wine prefix. The program's CROSSCOMPILING_EMULATOR is
# scripts/wine-run with RUNNER's options, so tests that need other options (drives, --dpi) live
# in another program; OBJECTS and FILTER let several programs share one source's tests (SUFFIX
# tells their names apart).
# COPY puts the programs under test next to it in C:\app: a bare name is a target, anything else
# a file (FILE=NAME renames it). WINDOWS marks tests that drive windows: label "windows" and a
# second attempt after a failed first (scripts/once-more). DRIVER marks a program that only drives
# the programs it starts, so that under emulation its x86_64 twin may run in its place. TREE names
# a setup_test_tree the tests need laid out first. WRAP is a command that runs wine-run (e.g. with
# a file system mounted). PROPERTIES apply to every test. A test that runs no test at all (a name
# its program does not hold) fails.
function(setup_wine_gtest name)
  cmake_parse_arguments(ARG "WINDOWS;DRIVER" "TIMEOUT;OBJECTS;FILTER;SUFFIX;TREE" "SOURCES;LINK;COPY;RUNNER;WRAP;PROPERTIES" ${ARGN})
  if(NOT SETUP_WINE_TESTS)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # An object library linked directly brings its object files, tests included.
  list(APPEND ARG_LINK ${ARG_OBJECTS})
  add_executable(${name} ${ARG_SOURCES})
  setup_flags(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest_main)
  set(runner ${ARG_RUNNER})
  if(SETUP_WINE_FLAVOUR STREQUAL "win32")
    list(APPEND runner --twin ${SETUP_TWIN_DIR}/${name}.exe)
    if(ARG_DRIVER)
      list(APPEND runner --driver)
    endif()
  endif()
  foreach(item IN LISTS ARG_COPY)
    if(NOT item MATCHES "[/.]")
      add_dependencies(${name} ${item})
      list(APPEND runner --copy $<TARGET_FILE:${item}>)
    else()
      list(APPEND runner --copy ${item})
    endif()
  endforeach()
  # One label each (a list would not survive the test discovery): "windows" or "wine"; the
  # build is in the name.
  set(label wine)
  set(emulator ${ARG_WRAP} ${SETUP_WINE_RUN} --timeout ${ARG_TIMEOUT} ${runner} --)
  math(EXPR ctest_timeout "${ARG_TIMEOUT} + 60")
  if(ARG_WINDOWS)
    list(PREPEND emulator ${SETUP_RETRY})
    set(label windows)
    math(EXPR ctest_timeout "2 * ${ARG_TIMEOUT} + 60")
  endif()
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR "${emulator}")
  set(properties TIMEOUT ${ctest_timeout} SKIP_RETURN_CODE 77 LABELS ${label}
      FAIL_REGULAR_EXPRESSION " 0 tests from 0 test suites ran" ${ARG_PROPERTIES})
  if(ARG_TREE)
    list(APPEND properties FIXTURES_REQUIRED ${SETUP_WINE_FLAVOUR}.tree.${ARG_TREE})
  endif()
  if(SETUP_WINE_LISTABLE)
    set(filter)
    if(ARG_FILTER)
      set(filter TEST_FILTER ${ARG_FILTER})
    endif()
    if(ARG_SUFFIX)
      list(APPEND filter TEST_SUFFIX ${ARG_SUFFIX})
    endif()
    gtest_discover_tests(${name} TEST_PREFIX "${SETUP_WINE_FLAVOUR}." ${filter} NO_PRETTY_VALUES
      DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
  else()
    set(filter)
    if(ARG_FILTER)
      set(filter --gtest_filter=${ARG_FILTER})
    endif()
    add_test(NAME ${SETUP_WINE_FLAVOUR}.${name} COMMAND ${name} ${filter})
    set_tests_properties(${SETUP_WINE_FLAVOUR}.${name} PROPERTIES ${properties})
  endif()
endfunction()

# setup_test_tree(NAME ROOT ENTRY...): a CTest fixture that lays out a folder tree for Wine
# tests (drives, search trees) before the tests that name it (setup_wine_gtest TREE NAME); the
# entries are cmake/make_tree.cmake's (dir:PATH, file:PATH[=TEXT], link:PATH=TARGET).
function(setup_test_tree name root)
  if(NOT SETUP_WINE_TESTS)
    return()
  endif()
  set(test ${SETUP_WINE_FLAVOUR}.tree.${name})
  add_test(NAME ${test}
    COMMAND ${CMAKE_COMMAND} -DROOT=${root} -P ${PROJECT_SOURCE_DIR}/cmake/make_tree.cmake ${ARGN})
  set_tests_properties(${test} PROPERTIES FIXTURES_SETUP ${test} LABELS wine)
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
  # Shipped builds carry no symbols, and no link time: two builds of one source are one file.
  target_link_options(${name} PRIVATE $<$<CONFIG:MinSizeRel,Release>:-s> -Wl,--no-insert-timestamp)
  target_link_libraries(${name} PRIVATE ${ARG_LINK})
endfunction()
