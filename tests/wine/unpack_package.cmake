# Builds the package of the build folder BUILD, unpacks NAME.zip into UNPACK
# and checks what a user gets: one folder NAME holding the program, the
# plug-in, the licence and README.txt with Windows line ends, and nothing else.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target package
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building the package failed:\n${output}")
endif()

file(REMOVE_RECURSE ${UNPACK})
file(ARCHIVE_EXTRACT INPUT ${BUILD}/${NAME}.zip DESTINATION ${UNPACK})
file(GLOB_RECURSE files LIST_DIRECTORIES true RELATIVE ${UNPACK} ${UNPACK}/*)
list(SORT files)
set(expected ${NAME} ${NAME}/LICENSE ${NAME}/README.txt ${NAME}/plugin.dll ${NAME}/skelvane.exe)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "${NAME}.zip holds\n  ${files}\nnot\n  ${expected}")
endif()

# Every line ends in CR LF: as many CR LF pairs as LFs and as CRs.
file(READ ${UNPACK}/${NAME}/README.txt bytes HEX)
string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
string(REGEX MATCHALL "0d 0a " crlf_found "${bytes}")
string(REGEX MATCHALL "0a " lf_found "${bytes}")
string(REGEX MATCHALL "0d " cr_found "${bytes}")
list(LENGTH crlf_found crlf)
list(LENGTH lf_found lf)
list(LENGTH cr_found cr)
if(crlf EQUAL 0 OR NOT crlf EQUAL lf OR NOT crlf EQUAL cr)
  message(FATAL_ERROR "README.txt: ${crlf} CR LF, ${lf} LF, ${cr} CR")
endif()
file(READ ${UNPACK}/${NAME}/README.txt readme)
foreach(section "Running on Windows" "Connecting your client" "Troubleshooting")
  string(FIND "${readme}" "\n${section}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.txt lacks the section \"${section}\"")
  endif()
endforeach()
