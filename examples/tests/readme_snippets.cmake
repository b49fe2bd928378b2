# The README's C++ quick start must be the consumer's quick_start.cpp, character for character, and its
# Python quick start must run (when PYTHON is given) against the build's package.

# The text between the first line "```<language>" and the next line "```".
function(code_block text language out)
  string(FIND "${text}" "\n```${language}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no ${language} block")
  endif()
  string(LENGTH "\n```${language}\n" skip)
  math(EXPR start "${start} + ${skip}")
  string(SUBSTRING "${text}" ${start} -1 rest)
  string(FIND "${rest}" "\n```\n" end)
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${rest}" 0 ${end} block)
  set(${out} "${block}" PARENT_SCOPE)
endfunction()

file(READ ${README} readme)
file(READ ${QUICK_START} source)
code_block("${readme}" cpp cpp_block)
if(NOT cpp_block STREQUAL source)
  message(FATAL_ERROR "the C++ quick start of README.md differs from ${QUICK_START}")
endif()

if(PYTHON)
  code_block("${readme}" python python_block)
  file(WRITE ${WORK_DIR}/readme_quick_start.py "${python_block}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PYTHON_DIR} PYTHONDONTWRITEBYTECODE=1 ${PYTHON}
                          ${WORK_DIR}/readme_quick_start.py RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the Python quick start of README.md failed:\n${err}")
  endif()
endif()
