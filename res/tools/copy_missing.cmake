# Copies every file of the listed entries of FROM into TO that TO does not hold yet; a file that is
# there (the user's copy, changed or not) is never replaced. Each copy is written under a temporary
# name and renamed, so an interrupted build leaves no half file.
#
#   cmake -DFROM=<folder> -DTO=<folder> "-DENTRIES=voic;tovk;xqno.txt" -P copy_missing.cmake

foreach(var FROM TO ENTRIES)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "copy_missing: ${var} is not set")
    endif()
endforeach()

set(wanted "")
foreach(entry IN LISTS ENTRIES)
    if(IS_DIRECTORY "${FROM}/${entry}")
        file(GLOB_RECURSE files RELATIVE "${FROM}" "${FROM}/${entry}/*")
        list(APPEND wanted ${files})
    elseif(EXISTS "${FROM}/${entry}")
        list(APPEND wanted "${entry}")
    else()
        message(FATAL_ERROR "copy_missing: ${FROM}/${entry} does not exist")
    endif()
endforeach()

foreach(file IN LISTS wanted)
    set(target "${TO}/${file}")
    if(EXISTS "${target}" OR IS_SYMLINK "${target}")
        continue()
    endif()
    get_filename_component(folder "${target}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${FROM}/${file}" "${target}.part")
    file(RENAME "${target}.part" "${target}")
    message(STATUS "program folder: added ${file}")
endforeach()
