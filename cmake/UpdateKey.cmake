# Whether a build carries the tree's public test key (data/keys/update_public.pem), whose private
# half is in the tree too: such a build accepts updates signed by anyone who read the sources.
#
# sentrel_is_test_update_key(KEY_FILE TEST_KEY_FILE OUT_VAR) sets OUT_VAR to TRUE when KEY_FILE
# holds the same key as TEST_KEY_FILE. The keys decide, not the paths: the base64 body of each
# file's "PUBLIC KEY" block is compared with its white space taken out, so a copy of the test key
# with other line ends, other line lengths or text around the block is still the test key.
function(sentrel_is_test_update_key key_file test_key_file out_var)
    _sentrel_public_key_body("${key_file}" key)
    _sentrel_public_key_body("${test_key_file}" test_key)
    if(key STREQUAL "")
        message(FATAL_ERROR "${key_file} holds no PEM \"PUBLIC KEY\" block")
    endif()
    if(key STREQUAL test_key)
        set(${out_var} TRUE PARENT_SCOPE)
    else()
        set(${out_var} FALSE PARENT_SCOPE)
    endif()
endfunction()

# The base64 text of the first "PUBLIC KEY" block of a PEM file without white space; empty when
# the file holds none.
function(_sentrel_public_key_body file out_var)
    file(READ "${file}" text)
    string(REGEX REPLACE "[ \t\r\n]" "" text "${text}")
    if(text MATCHES "-----BEGINPUBLICKEY-----([A-Za-z0-9+/=]+)-----ENDPUBLICKEY-----")
        set(${out_var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    else()
        set(${out_var} "" PARENT_SCOPE)
    endif()
endfunction()
