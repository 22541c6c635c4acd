cmake_minimum_required(VERSION 3.25)
# check_file_sizes.cmake judged on small folders made here, with a limit of 1000 bytes: which files
# it names, and that it passes a folder that is not a git checkout.
# Run as: cmake -DWORK_DIR=... -DCHECK=.../check_file_sizes.cmake -P file_sizes_self_test.cmake

set(limit 1000)
file(REMOVE_RECURSE "${WORK_DIR}")

# name | bytes | tracked | named in the failure
set(cases
    "over.bin|1001|yes|yes"
    "at-limit.bin|1000|yes|no"
    "docs/校园 窗口.png|5000|yes|yes"
    "res/voic/long.mp3|5000|yes|no"
    "under-res/x.bin|1001|yes|yes"
    "untracked.bin|5000|no|no")

function(write_cases folder)
    foreach(case IN LISTS cases)
        string(REPLACE "|" ";" fields "${case}")
        list(GET fields 0 name)
        list(GET fields 1 bytes)
        string(REPEAT "x" ${bytes} content)
        file(WRITE "${folder}/${name}" "${content}")
    endforeach()
endfunction()

function(run_check folder out_status out_text)
    execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${folder} -DLIMIT=${limit} -P "${CHECK}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    set(${out_status} ${status} PARENT_SCOPE)
    set(${out_text} "${output}${errors}" PARENT_SCOPE)
endfunction()

set(problems "")
set(repo "${WORK_DIR}/checkout")
write_cases("${repo}")
execute_process(COMMAND git init -q "${repo}" RESULT_VARIABLE status)
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 name)
    list(GET fields 2 tracked)
    if(tracked)
        execute_process(COMMAND git -C "${repo}" add -- "${name}" RESULT_VARIABLE status)
    endif()
endforeach()
run_check("${repo}" status text)
if(status EQUAL 0)
    list(APPEND problems "the checkout passed:\n${text}")
endif()
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 name)
    list(GET fields 1 bytes)
    list(GET fields 3 named)
    string(FIND "${text}" "  ${name}: ${bytes} bytes" at)
    if(named AND at EQUAL -1)
        list(APPEND problems "${name} (${bytes} bytes) is not named")
    elseif(NOT named AND NOT at EQUAL -1)
        list(APPEND problems "${name} is named though allowed")
    endif()
endforeach()

# The same files unpacked from a tarball, here into a folder of the checkout (not its top): nothing
# of it is tracked, the check passes and says why.
set(unpacked "${repo}/unpacked")
write_cases("${unpacked}")
run_check("${unpacked}" status text)
if(NOT status EQUAL 0 OR NOT text MATCHES "not a git checkout")
    list(APPEND problems "a folder outside git (status ${status}):\n${text}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
if(problems)
    list(JOIN problems "\n" shown)
    message(FATAL_ERROR "${shown}")
endif()
message(STATUS "the file size check names exactly the tracked files over the limit outside res/")
