# Writes the time that the build stamps on the payload archive's entries to OUTPUT, in seconds
# since 1970-01-01 00:00:00 UTC, and rewrites the file only when that time changed, so that what
# depends on it is remade only then:
#   cmake -DROOT=SOURCE_FOLDER -DOUTPUT=FILE -P SourceDateEpoch.cmake
# The time is SOURCE_DATE_EPOCH when it is set (the reproducible-builds.org convention), else the
# time of the commit checked out in ROOT, else, for a source tree without git history (a
# tarball), the earliest time a ZIP entry can hold, 1980-01-01 00:00:00 UTC. An earlier time is
# raised to that one, as the DOS date of a ZIP entry starts in 1980.
set(zip_epoch 315532800)

set(epoch "$ENV{SOURCE_DATE_EPOCH}")
set(origin "SOURCE_DATE_EPOCH")
if(epoch STREQUAL "")
  set(epoch ${zip_epoch})
  set(origin "no git history: the earliest ZIP time")
  if(EXISTS ${ROOT}/.git)
    execute_process(COMMAND git -C ${ROOT} log -1 --format=%ct
      OUTPUT_VARIABLE commit_time ERROR_VARIABLE error RESULT_VARIABLE result
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
    if(result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
      set(epoch ${commit_time})
      set(origin "the commit's time")
    else()
      set(origin "the commit's time unreadable: the earliest ZIP time")
      message(WARNING "Cannot read the time of the commit in ${ROOT} (${result} ${error}); the "
                      "payload is stamped with the earliest ZIP time instead")
    endif()
  endif()
endif()

if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds, not \"${epoch}\"")
endif()
if(epoch LESS zip_epoch)
  set(epoch ${zip_epoch})
endif()

if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} written)
  if(written STREQUAL "${epoch}\n")
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${epoch}\n")
message(STATUS "Payload entries stamped ${epoch} (${origin})")
