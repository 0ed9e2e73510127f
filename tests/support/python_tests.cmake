# Python tests of the real programs (standard library only), run with unittest
# from the folder's build directory with the shared support modules, the
# end-to-end helpers, any PATH folders and the folder's own sources on the
# path; TIMEOUT in seconds (300 unless given). A run whose cases all skipped
# (a missing tool, capture or permission) shows as skipped in CTest.
find_package(Python3 COMPONENTS Interpreter)

function(skelvane_python_test name module)
  cmake_parse_arguments(T "SKIPPABLE" "TIMEOUT" "ENV;PATH" ${ARGN})
  add_test(NAME ${name} COMMAND ${Python3_EXECUTABLE} -m unittest -v ${module}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set(path ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_SOURCE_DIR}/tests/e2e ${T_PATH}
           ${CMAKE_CURRENT_SOURCE_DIR})
  list(REMOVE_DUPLICATES path)
  list(JOIN path ":" path)
  set(env "PYTHONPATH=${path}" "PYTHONDONTWRITEBYTECODE=1")
  if(TARGET skelvane)
    list(APPEND env "SKELVANE_BIN=$<TARGET_FILE:skelvane>")
  endif()
  list(APPEND env ${T_ENV})  # last, so that it may name another program
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
  if(T_SKIPPABLE)
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "OK \\(skipped=")
  endif()
endfunction()
