# Shared by the tool's test scripts.  run_hvdv(expect ARGS...) runs hvdv (under
# EMULATOR when set) and fails unless its exit status is `expect`; stdout and
# stderr are left in RUN_OUT and RUN_ERR.
function(run_hvdv expect)
  execute_process(COMMAND ${EMULATOR} ${HVDV} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT "${status}" STREQUAL "${expect}")
    message(FATAL_ERROR "hvdv ${ARGN}: exit status ${status}, expected ${expect}\nstdout: ${out}\nstderr: ${err}")
  endif()
  set(RUN_OUT "${out}" PARENT_SCOPE)
  set(RUN_ERR "${err}" PARENT_SCOPE)
endfunction()
