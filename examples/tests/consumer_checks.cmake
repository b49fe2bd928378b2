# What the consumer tests share: running a command, and checking the quick start program.

# Runs a command and fails the test with its output unless it succeeds; its standard output lands in `out`.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# Runs the quick start program, which must reprice its quote, and checks that every qavrek library it
# loads lies below library_dir.
function(check_quick_start program library_dir)
  run(${program} ${WORK_DIR}/hull_white.json)
  message("${out}")
  if(NOT out MATCHES "repriced from [^\n]*: Black volatility 20\\.00%")
    message(FATAL_ERROR "the consumer did not reprice its quote")
  endif()
  run(ldd ${program})
  string(REGEX MATCHALL "libqavrek[A-Za-z]*\\.so[^\n]*" loaded "${out}")
  if(NOT loaded)
    message(FATAL_ERROR "ldd lists no qavrek library:\n${out}")
  endif()
  foreach(line IN LISTS loaded)
    if(NOT line MATCHES "=> ${library_dir}/")
      message(FATAL_ERROR "a library from outside ${library_dir}: ${line}")
    endif()
  endforeach()
endfunction()
