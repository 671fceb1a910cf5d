# Runs the picture fuzzer from the seeds written by imagebench_fuzz_corpus
# (ctest --preset fuzz, make fuzz). Settings come from the environment:
#   FUZZ_SECONDS    how long, 60 by default
#   FUZZ_CORPUS     where the corpus grows, <build>/corpus by default
#   FUZZ_ARTIFACTS  where crashing inputs land, <build>/artifacts/ by default
#   FUZZ_FLAGS      more libFuzzer options, separated by spaces
# Called with -DFUZZER=<program> -DWORK=<build folder>.
set(seconds 60)
if(DEFINED ENV{FUZZ_SECONDS} AND NOT "$ENV{FUZZ_SECONDS}" STREQUAL "")
  set(seconds "$ENV{FUZZ_SECONDS}")
endif()
if(NOT seconds MATCHES "^[0-9]+$")
  message(FATAL_ERROR "FUZZ_SECONDS must be a whole number of seconds, not \"${seconds}\".")
endif()
set(corpus "${WORK}/corpus")
if(NOT "$ENV{FUZZ_CORPUS}" STREQUAL "")
  set(corpus "$ENV{FUZZ_CORPUS}")
endif()
set(artifacts "${WORK}/artifacts/")
if(NOT "$ENV{FUZZ_ARTIFACTS}" STREQUAL "")
  set(artifacts "$ENV{FUZZ_ARTIFACTS}")
endif()
separate_arguments(flags UNIX_COMMAND "$ENV{FUZZ_FLAGS}")
file(MAKE_DIRECTORY "${corpus}" "${artifacts}")

execute_process(COMMAND "${FUZZER}" -max_total_time=${seconds} -artifact_prefix=${artifacts}
                        -rss_limit_mb=4096 -timeout=30 ${flags} "${corpus}" "${WORK}/seeds"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The fuzzer stopped with \"${result}\"; the input that broke it is in ${artifacts}.")
endif()
