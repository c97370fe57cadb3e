# Runs one libFuzzer target for a bounded time: new inputs go to WORK, seeds stay untouched.
file(MAKE_DIRECTORY ${WORK})
set(dirs)
foreach(d IN LISTS SEEDS)
  if(EXISTS ${d})
    list(APPEND dirs ${d})
  endif()
endforeach()
execute_process(COMMAND ${EXE} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
                        -print_final_stats=1 ${WORK} ${dirs}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzzer ${EXE} failed with ${rc}")
endif()
