# Checks a fuzz target's replay main against the faults of a target that changes directory:
# - the corpus named relative to the working directory (CORPUS, relative to SOURCE) is read in
#   full, every input of it replayed, and no scratch directory is left in the temporary
#   directory afterwards;
# - with -DECHO=ON, for a target that writes its typed lines with VXFUZZ_ECHO set: the first
#   line of the last input, which runs long after the target changed directory, was typed;
# - a corpus with an input that cannot be read (a dangling link) fails before anything runs.
# Run with cmake -DTARGET=<executable> -DCORPUS=<dir> -DSOURCE=<dir> -DWORK=<dir> -P.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/tmp ${WORK}/bad)
set(ENV{TMPDIR} ${WORK}/tmp)
set(ENV{VXFUZZ_ECHO} 1)

file(GLOB_RECURSE inputs LIST_DIRECTORIES false ${SOURCE}/${CORPUS}/*)
list(LENGTH inputs count)
if(count EQUAL 0)
  message(FATAL_ERROR "${SOURCE}/${CORPUS} holds no inputs")
endif()
execute_process(COMMAND ${TARGET} ${CORPUS} WORKING_DIRECTORY ${SOURCE}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the replay of ${CORPUS} failed (${result}):\n${out}\n${err}")
endif()
if(NOT out MATCHES "replayed ${count} inputs")
  message(FATAL_ERROR "expected ${count} inputs replayed, got:\n${out}")
endif()
if(ECHO)
  list(SORT inputs)
  list(GET inputs -1 last)
  file(STRINGS ${last} lines LIMIT_COUNT 1)
  string(FIND "${err}" "\n> ${lines}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the last input ${last} was not replayed as read (\"${lines}\"):\n${err}")
  endif()
endif()
file(GLOB left ${WORK}/tmp/*)
if(left)
  message(FATAL_ERROR "left behind in the temporary directory: ${left}")
endif()

list(GET inputs 0 first)
file(COPY ${first} DESTINATION ${WORK}/bad)
file(CREATE_LINK ${WORK}/no-such-input ${WORK}/bad/dangling SYMBOLIC)
execute_process(COMMAND ${TARGET} bad WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0 OR NOT err MATCHES "cannot read the input .*dangling" OR err MATCHES "replaying")
  message(FATAL_ERROR "a corpus with an unreadable input was replayed (${result}):\n${out}\n${err}")
endif()
file(REMOVE_RECURSE ${WORK})
