# Which update keys make a development build (cmake/UpdateKey.cmake), checked in script mode:
#   cmake -DSOURCE=<tree> -DSENTREL_DB=<sentrel-db> -DWORK=<scratch folder> -P test_key_check.cmake
# The test key and any copy of it do; a key made with `sentrel-db keygen` does not; a file with no
# public key in it (the private key named by mistake) stops the configuration.
include(${SOURCE}/cmake/UpdateKey.cmake)
set(test_key ${SOURCE}/data/keys/update_public.pem)

if(CASE STREQUAL "private key")
    sentrel_is_test_update_key(${SOURCE}/data/keys/test_update_private.pem ${test_key} ignored)
    return()
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures 0)
function(expect key_file expected what)
    sentrel_is_test_update_key(${key_file} ${test_key} is_test_key)
    if(NOT is_test_key STREQUAL expected)
        message(SEND_ERROR "${what}: taken for the test key is ${is_test_key}, expected ${expected}")
    endif()
endfunction()

expect(${test_key} TRUE "the test key")

# A copy elsewhere: CR LF line ends, lines of another length, a label before the block.
file(READ ${test_key} pem)
if(NOT pem MATCHES "-----BEGIN PUBLIC KEY-----\n(.*)\n-----END PUBLIC KEY-----")
    message(FATAL_ERROR "${test_key} is not a PEM public key")
endif()
string(REPLACE "\n" "" body "${CMAKE_MATCH_1}")
string(SUBSTRING "${body}" 0 30 head)
string(SUBSTRING "${body}" 30 -1 tail)
file(WRITE ${WORK}/copy.pem "Update key of the tests\r\n-----BEGIN PUBLIC KEY-----\r\n${head}\r\n${tail}\r\n-----END PUBLIC KEY-----\r\n")
expect(${WORK}/copy.pem TRUE "a copy of the test key")

# A release key, made as a maker makes one.
execute_process(COMMAND ${SENTREL_DB} keygen ${WORK}/release_private.pem ${WORK}/release_public.pem
                RESULT_VARIABLE keygen_result)
if(NOT keygen_result EQUAL 0)
    message(FATAL_ERROR "sentrel-db keygen failed: ${keygen_result}")
endif()
expect(${WORK}/release_public.pem FALSE "a key made with sentrel-db keygen")

# The test key with one character of its point changed is another key.
string(REGEX MATCH "^(.*)(.)(=*)$" ignored "${body}")
if(CMAKE_MATCH_2 STREQUAL "A")
    set(changed "${CMAKE_MATCH_1}B${CMAKE_MATCH_3}")
else()
    set(changed "${CMAKE_MATCH_1}A${CMAKE_MATCH_3}")
endif()
file(WRITE ${WORK}/changed.pem "-----BEGIN PUBLIC KEY-----\n${changed}\n-----END PUBLIC KEY-----\n")
expect(${WORK}/changed.pem FALSE "the test key with one character changed")

execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${SOURCE} "-DCASE=private key" -P ${CMAKE_CURRENT_LIST_FILE}
                RESULT_VARIABLE private_result ERROR_VARIABLE private_error)
string(REGEX REPLACE "[ \t\r\n]+" " " private_error "${private_error}")  # CMake wraps its messages
if(private_result EQUAL 0 OR NOT private_error MATCHES "holds no PEM \"PUBLIC KEY\" block")
    message(SEND_ERROR "a private key file was accepted as the update key: ${private_result} ${private_error}")
endif()
file(REMOVE_RECURSE ${WORK})
