# SPDX-License-Identifier: MIT
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

# The same application built without CMake: the compiler flags and the
# libraries, ICU and OpenSSL included, come from corvid.pc alone.
file(GLOB_RECURSE pc_file ${WORK_DIR}/prefix/*/corvid.pc)
if(NOT pc_file)
  message(FATAL_ERROR "corvid.pc not installed")
endif()
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
execute_process(COMMAND pkg-config --cflags --libs corvid
  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config --cflags --libs corvid failed (${status})")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX_COMPILER} -std=c++20 -o ${WORK_DIR}/pc-consumer ${SOURCE_DIR}/main.cpp ${flags})
run(${WORK_DIR}/pc-consumer)
