# The installer's publisher, pinned by key. Included from the top-level CMakeLists.txt before
# project(), after the release's origins; sets what bootstrap/vocabulary/build_settings.h.in reads:
#   SETUP_INSTALLER_SIGNATURE_RULE  kAuto, kOn or kOff
#   SETUP_PUBLISHER_KEY_COUNT, SETUP_PUBLISHER_KEYS_CPP, SETUP_PUBLISHER_SUBJECT_CPP
#
# Setup starts only an installer whose signing certificate's chain, as the computer's chain engine
# builds it, holds one of the pinned keys (the SHA-256 of a certificate's DER SubjectPublicKeyInfo:
# the publisher's own key, or a CA's, so that a renewal under a pinned CA passes) and whose subject
# has the attributes given here. scripts/publisher-pins.py derives both from a public certificate.

set(SETUP_PUBLISHER_KEYS "" CACHE STRING
    "SHA-256 (hex) of the DER SubjectPublicKeyInfo of the publisher's or its CA's certificate; ';' between several")
set(SETUP_PUBLISHER_SUBJECT "" CACHE STRING
    "The publisher's certificate subject, e.g. 'CN=Ostrevo Software, O=Ostrevo, C=CZ'")
# Whether Setup starts only an installer signed by the pinned publisher. AUTO: exactly when keys
# are configured.
set(SETUP_INSTALLER_SIGNATURE AUTO CACHE STRING
    "Require the installer's Authenticode signature by the pinned publisher: AUTO, ON or OFF")
set_property(CACHE SETUP_INSTALLER_SIGNATURE PROPERTY STRINGS AUTO ON OFF)
# The test build's publisher: a throwaway root CA made once per build tree, its key pinned, so that
# the tests sign with certificates under it and Setup checks them as a release checks the maker's.
option(SETUP_TEST_PUBLISHER
       "Pin a throwaway publisher root made into the build tree (test builds)" OFF)

if(SETUP_INSTALLER_SIGNATURE STREQUAL "AUTO")
  set(SETUP_INSTALLER_SIGNATURE_RULE kAuto)
elseif(SETUP_INSTALLER_SIGNATURE STREQUAL "ON")
  set(SETUP_INSTALLER_SIGNATURE_RULE kOn)
elseif(SETUP_INSTALLER_SIGNATURE STREQUAL "OFF")
  set(SETUP_INSTALLER_SIGNATURE_RULE kOff)
else()
  message(FATAL_ERROR "SETUP_INSTALLER_SIGNATURE='${SETUP_INSTALLER_SIGNATURE}' is not AUTO, ON or OFF")
endif()

set(_publisher_keys "${SETUP_PUBLISHER_KEYS}")
set(_publisher_subject "${SETUP_PUBLISHER_SUBJECT}")
find_program(SETUP_PYTHON3 python3)

if(SETUP_TEST_PUBLISHER)
  if(SETUP_RELEASE)
    message(FATAL_ERROR "A release build never pins the throwaway test publisher: configure it "
                        "with SETUP_TEST_PUBLISHER=OFF and the maker's SETUP_PUBLISHER_KEYS")
  endif()
  if(SETUP_PUBLISHER_KEYS OR SETUP_PUBLISHER_SUBJECT)
    message(FATAL_ERROR "SETUP_TEST_PUBLISHER pins the test publisher: leave SETUP_PUBLISHER_KEYS "
                        "and SETUP_PUBLISHER_SUBJECT empty, or turn it off")
  endif()
  find_program(SETUP_OPENSSL openssl)
  if(NOT SETUP_OPENSSL OR NOT SETUP_PYTHON3)
    message(FATAL_ERROR "SETUP_TEST_PUBLISHER needs openssl and python3 (bash scripts/install-deps.sh)")
  endif()
  # Made once and kept with the build tree: the pin is compiled into Setup.exe, and the tests
  # (tests/e2e/signature_e2e_test.py) issue their certificates under this root.
  set(_test_publisher ${CMAKE_BINARY_DIR}/test-publisher)
  if(NOT EXISTS ${_test_publisher}/root.pem OR NOT EXISTS ${_test_publisher}/root.key)
    file(MAKE_DIRECTORY ${_test_publisher})
    execute_process(
      COMMAND ${SETUP_OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 3650 -sha256
              -subj "/CN=Setup Test Publisher Root/O=Ostrevo Test"
              -addext "basicConstraints=critical,CA:TRUE"
              -addext "keyUsage=critical,keyCertSign,cRLSign"
              -keyout ${_test_publisher}/root.key -out ${_test_publisher}/root.pem
      RESULT_VARIABLE _result OUTPUT_QUIET ERROR_VARIABLE _error)
    if(NOT _result EQUAL 0)
      file(REMOVE ${_test_publisher}/root.key ${_test_publisher}/root.pem)
      message(FATAL_ERROR "Making the test publisher's root failed:\n${_error}")
    endif()
  endif()
  execute_process(
    COMMAND ${SETUP_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/../scripts/publisher-pins.py
            ${_test_publisher}/root.pem --print keys
    RESULT_VARIABLE _result OUTPUT_VARIABLE _publisher_keys ERROR_VARIABLE _error
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "Deriving the test publisher's pin failed:\n${_error}")
  endif()
  set(_publisher_subject "CN=Ostrevo Test Publisher, O=Ostrevo Test")
endif()

# The keys as C++ initialisers: 64 hex digits each.
set(SETUP_PUBLISHER_KEY_COUNT 0)
set(SETUP_PUBLISHER_KEYS_CPP "")
foreach(_key IN LISTS _publisher_keys)
  string(STRIP "${_key}" _key)
  string(LENGTH "${_key}" _length)
  if(NOT _length EQUAL 64 OR NOT _key MATCHES "^[0-9A-Fa-f]+$")
    message(FATAL_ERROR "SETUP_PUBLISHER_KEYS: '${_key}' is not a SHA-256 in hex (64 digits); "
                        "scripts/publisher-pins.py prints the keys of a certificate")
  endif()
  string(TOLOWER "${_key}" _key)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " _bytes "${_key}")
  string(APPEND SETUP_PUBLISHER_KEYS_CPP "    {{${_bytes}}},\n")
  math(EXPR SETUP_PUBLISHER_KEY_COUNT "${SETUP_PUBLISHER_KEY_COUNT} + 1")
endforeach()

if(SETUP_PUBLISHER_KEY_COUNT EQUAL 0 AND NOT _publisher_subject STREQUAL "")
  message(FATAL_ERROR "SETUP_PUBLISHER_SUBJECT is set without SETUP_PUBLISHER_KEYS: a name alone "
                      "can be minted by any trusted CA; pin the publisher's keys as well")
endif()
if(SETUP_PUBLISHER_KEY_COUNT GREATER 0)
  if(_publisher_subject STREQUAL "")
    message(FATAL_ERROR "SETUP_PUBLISHER_KEYS is set without SETUP_PUBLISHER_SUBJECT: a pinned CA "
                        "signs other publishers too; give the publisher's subject as well")
  endif()
  # Read now with the rules Setup reads it by, so that a subject Setup could never match does not
  # build.
  if(NOT SETUP_PYTHON3)
    message(FATAL_ERROR "Checking SETUP_PUBLISHER_SUBJECT needs python3")
  endif()
  execute_process(
    COMMAND ${SETUP_PYTHON3} -c
            "import sys; sys.path.insert(0, sys.argv[1]); import publisher_certificates as p; p.parse_subject(sys.argv[2])"
            ${CMAKE_CURRENT_LIST_DIR}/../scripts "${_publisher_subject}"
    RESULT_VARIABLE _result ERROR_VARIABLE _error)
  if(NOT _result EQUAL 0)
    string(REGEX MATCH "[^\n]*\n?$" _error "${_error}")
    message(FATAL_ERROR "SETUP_PUBLISHER_SUBJECT='${_publisher_subject}' cannot be read: ${_error}")
  endif()
endif()
# A C++ string literal of the subject's UTF-8.
string(REPLACE "\\" "\\\\" SETUP_PUBLISHER_SUBJECT_CPP "${_publisher_subject}")
string(REPLACE "\"" "\\\"" SETUP_PUBLISHER_SUBJECT_CPP "${SETUP_PUBLISHER_SUBJECT_CPP}")

if(SETUP_INSTALLER_SIGNATURE STREQUAL "ON" AND SETUP_PUBLISHER_KEY_COUNT EQUAL 0)
  message(FATAL_ERROR "SETUP_INSTALLER_SIGNATURE=ON needs the publisher's pinned keys "
                      "(SETUP_PUBLISHER_KEYS and SETUP_PUBLISHER_SUBJECT; "
                      "scripts/publisher-pins.py derives them from its certificate)")
endif()
# A release checks the installer unless the maker says otherwise in so many words.
if(SETUP_RELEASE AND NOT SETUP_INSTALLER_SIGNATURE STREQUAL "OFF" AND
   SETUP_PUBLISHER_KEY_COUNT EQUAL 0)
  message(FATAL_ERROR "A release build needs the publisher's pinned keys: give "
                      "SETUP_PUBLISHER_KEYS and SETUP_PUBLISHER_SUBJECT (python3 "
                      "scripts/publisher-pins.py signing-certificate.cer [ca.cer] prints them), "
                      "or SETUP_INSTALLER_SIGNATURE=OFF to ship a Setup that starts any installer")
endif()
if(SETUP_INSTALLER_SIGNATURE STREQUAL "OFF")
  message(STATUS "Installer signature: NOT checked (SETUP_INSTALLER_SIGNATURE=OFF): Setup starts "
                 "any installer")
elseif(SETUP_PUBLISHER_KEY_COUNT EQUAL 0)
  message(STATUS "Installer signature: NOT checked (no SETUP_PUBLISHER_KEYS)")
else()
  message(STATUS "Installer signature: required, ${SETUP_PUBLISHER_KEY_COUNT} pinned key(s), "
                 "subject '${_publisher_subject}'")
endif()
