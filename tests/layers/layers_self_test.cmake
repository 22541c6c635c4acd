cmake_minimum_required(VERSION 3.25)
# check_layers.cmake judged on small trees made here: one that holds, and each way of breaking the
# layers, which it must refuse naming the fault.
# Run as: cmake -DWORK_DIR=... -DCHECK=.../check_layers.cmake -P layers_self_test.cmake

file(REMOVE_RECURSE "${WORK_DIR}")

# A tree of three folders, lowest first: low (core), mid (service), top (windows); `extra` is
# "FILE|LINE" added to it.
function(make_tree name extra)
    set(root "${WORK_DIR}/${name}")
    file(WRITE "${root}/low/A.h" "#pragma once\n#include <string>\n")
    file(WRITE "${root}/mid/B.h" "#pragma once\n#include \"low/A.h\"\n#include <QObject>\n")
    file(WRITE "${root}/top/C.cpp" "#include \"mid/B.h\"\n#include \"low/A.h\"\n")
    if(NOT extra STREQUAL "|")
        string(REPLACE "|" ";" fields "${extra}")
        list(GET fields 0 file)
        list(GET fields 1 line)
        file(APPEND "${root}/${file}" "${line}\n")
    endif()
endfunction()

set(problems "")
# name | added line | what the failure must name ("" : must pass)
set(cases
    "holds|||"
    "upward|low/A.h|#include \"mid/B.h\"|of a higher layer"
    "cycle|mid/D.h|#include \"top/C.h\"|include each other"
    "qt in core|low/E.cpp|#include <QString>|the core includes the Qt header"
    "nowhere|top/F.cpp|#include \"gone/X.h\"|in no layer")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 name)
    list(GET fields 1 file)
    list(GET fields 2 line)
    list(GET fields 3 expected)
    make_tree("${name}" "${file}|${line}")
    if(name STREQUAL "cycle") # the other half of the cycle: top includes mid already; mid/D.h, top/C.h
        file(WRITE "${WORK_DIR}/${name}/top/C.h" "#pragma once\n#include \"mid/D.h\"\n")
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${WORK_DIR}/${name} -DCORE_LAYERS=low
        -DSERVICE_LAYERS=mid -DWINDOW_LAYERS=top -P "${CHECK}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(expected STREQUAL "" AND NOT status EQUAL 0)
        list(APPEND problems "${name}: refused a tree that holds:\n${output}${errors}")
    elseif(NOT expected STREQUAL "" AND (status EQUAL 0 OR NOT "${output}${errors}" MATCHES "${expected}"))
        list(APPEND problems "${name}: not refused for '${expected}':\n${output}${errors}")
    endif()
endforeach()

if(problems)
    list(JOIN problems "\n" text)
    message(FATAL_ERROR "${text}")
endif()
message(STATUS "the layers check refuses each broken tree and passes the one that holds")
