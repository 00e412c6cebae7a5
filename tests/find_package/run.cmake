file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
# Only the API is installed: headers that hand out the system-call table or
# serve the library's own sources stay in the build.
foreach(internal IN ITEMS platform/sys.h platform/call.h platform/resolver.h
    internet/transport/error_table.h internet/message2/uue_conversion.h)
  if(EXISTS ${WORK_DIR}/prefix/include/corvid/${internal})
    message(FATAL_ERROR "internal header installed: corvid/${internal}")
  endif()
endforeach()
if(NOT EXISTS ${WORK_DIR}/prefix/include/corvid/internet/smtp/agent.h)
  message(FATAL_ERROR "public header missing: corvid/internet/smtp/agent.h")
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)
