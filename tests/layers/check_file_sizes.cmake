cmake_minimum_required(VERSION 3.25)
# Fails when git tracks a file over 1 MiB outside res/ (where the default sounds and bitmaps live):
# a dump or a recording committed by mistake would stay in every clone for good. A source folder
# that is not a git checkout (an unpacked source tarball) has nothing tracked: the check says so
# and passes.
# Run as: cmake -DSOURCE_DIR=... [-DLIMIT=bytes] -P check_file_sizes.cmake

if(NOT DEFINED LIMIT)
    set(LIMIT 1048576)
endif()

find_program(GIT git)
if(NOT GIT)
    message(STATUS "file sizes not checked: git is not installed")
    return()
endif()
execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
file(REAL_PATH "${SOURCE_DIR}" source)
if(NOT status EQUAL 0 OR NOT top STREQUAL source)
    message(STATUS "file sizes not checked: ${SOURCE_DIR} is not a git checkout")
    return()
endif()

# Names as they are (no octal quoting of Chinese names), one a line.
execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" -c core.quotePath=false ls-files
    OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "git ls-files failed in ${SOURCE_DIR}")
endif()
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" tracked "${listing}")

set(problems "")
set(checked 0)
foreach(name IN LISTS tracked)
    # A file removed from the work tree but not yet from the index has no size to judge.
    if(name STREQUAL "" OR name MATCHES "^res/" OR NOT EXISTS "${SOURCE_DIR}/${name}")
        continue()
    endif()
    math(EXPR checked "${checked} + 1")
    file(SIZE "${SOURCE_DIR}/${name}" size)
    if(size GREATER LIMIT)
        list(APPEND problems "${name}: ${size} bytes")
    endif()
endforeach()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "files tracked by git over ${LIMIT} bytes outside res/:\n  ${text}")
endif()
message(STATUS "file sizes hold: ${checked} tracked files outside res/, none over ${LIMIT} bytes")
