# The shipped build. Included from the top-level CMakeLists.txt when SETUP_RELEASE is on, before
# the general origin check: a release must name the maker's real services, so an origin that is
# missing, not HTTPS, or still the local test service stops the configure here with a clear word.
#
# Output: ${CMAKE_BINARY_DIR}/dist/ with Setup.exe (stripped, size-optimised, signed when a
# certificate is configured) and Setup.exe.sha256, made by the setup_dist target.

if(NOT WIN32)
  message(FATAL_ERROR "SETUP_RELEASE builds the Windows program: configure it with the release "
                      "preset (cmake --preset release ...), which uses the MinGW-w64 toolchain")
endif()

set(_release_problems "")
foreach(env PROD UAT SIT DIT)
  set(_origin "${SETUP_ORIGIN_${env}}")
  string(TOLOWER "${_origin}" _host)
  if(_origin STREQUAL "")
    string(APPEND _release_problems "\n  SETUP_ORIGIN_${env} is not set")
  elseif(NOT _origin MATCHES "^https://")
    string(APPEND _release_problems
           "\n  SETUP_ORIGIN_${env}='${_origin}' is not an https:// origin")
  elseif(_host MATCHES "^https://(localhost|127\\.[0-9.]+)(:[0-9]+)?$")
    # Any loopback host, not just the default ports: no customer runs the maker's service.
    string(APPEND _release_problems
           "\n  SETUP_ORIGIN_${env}='${_origin}' is the local test service, not a real host")
  endif()
endforeach()
if(_release_problems)
  message(FATAL_ERROR "A release build needs the four service origins, each the maker's real "
                      "https:// host:${_release_problems}\n"
                      "Give all four, for example:\n"
                      "  cmake --preset release -DSETUP_ORIGIN_PROD=https://www.example.com "
                      "-DSETUP_ORIGIN_UAT=https://uat.example.com "
                      "-DSETUP_ORIGIN_SIT=https://sit.example.com "
                      "-DSETUP_ORIGIN_DIT=https://dit.example.com")
endif()

# Authenticode signing: a PKCS#12 file and a file holding its password, both kept outside the
# repository; without them dist/Setup.exe is the unsigned program and the build says so.
set(SETUP_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file with the code-signing key and certificate")
set(SETUP_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of SETUP_SIGN_PKCS12")
set(SETUP_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping service (optional)")

set(_sign_tool "")
if(SETUP_SIGN_PKCS12)
  find_package(Git QUIET)
  foreach(file SETUP_SIGN_PKCS12 SETUP_SIGN_PASSWORD_FILE)
    if(NOT ${file})
      message(FATAL_ERROR "SETUP_SIGN_PKCS12 is set, so SETUP_SIGN_PASSWORD_FILE must name the file "
                          "holding its password")
    endif()
    if(NOT EXISTS "${${file}}" OR IS_DIRECTORY "${${file}}")
      message(FATAL_ERROR "${file}='${${file}}' is not a file")
    endif()
    # A key that is in the repository is a key everyone with a clone has.
    if(Git_FOUND)
      execute_process(
        COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} ls-files --error-unmatch -- ${${file}}
        RESULT_VARIABLE untracked OUTPUT_QUIET ERROR_QUIET)
      if(untracked EQUAL 0)
        message(FATAL_ERROR "${file}='${${file}}' is tracked by git: keep signing keys and their "
                            "passwords out of the repository")
      endif()
    endif()
  endforeach()
  find_program(SETUP_OSSLSIGNCODE osslsigncode)
  find_program(SETUP_OPENSSL openssl)
  if(NOT SETUP_OSSLSIGNCODE OR NOT SETUP_OPENSSL)
    message(FATAL_ERROR "Signing needs osslsigncode and openssl (bash scripts/install-deps.sh)")
  endif()
  set(_sign_tool ${SETUP_OSSLSIGNCODE})
endif()

set(SETUP_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
add_custom_command(
  OUTPUT ${SETUP_DIST_DIR}/Setup.exe ${SETUP_DIST_DIR}/Setup.exe.sha256
  COMMAND ${CMAKE_COMMAND} -DSETUP_EXE=$<TARGET_FILE:Setup> -DDIST_DIR=${SETUP_DIST_DIR}
          -DOSSLSIGNCODE=${_sign_tool} -DOPENSSL=${SETUP_OPENSSL}
          -DSIGN_PKCS12=${SETUP_SIGN_PKCS12} -DSIGN_PASSWORD_FILE=${SETUP_SIGN_PASSWORD_FILE}
          -DSIGN_TIMESTAMP_URL=${SETUP_SIGN_TIMESTAMP_URL} -DSIGN_INFO_URL=${SETUP_ORIGIN_PROD}
          -P ${CMAKE_CURRENT_LIST_DIR}/make_dist.cmake
  DEPENDS Setup ${CMAKE_CURRENT_LIST_DIR}/make_dist.cmake ${SETUP_SIGN_PKCS12}
          ${SETUP_SIGN_PASSWORD_FILE}
  COMMENT "Putting Setup.exe and its SHA-256 into ${SETUP_DIST_DIR}"
  VERBATIM)
add_custom_target(setup_dist ALL DEPENDS ${SETUP_DIST_DIR}/Setup.exe
                                         ${SETUP_DIST_DIR}/Setup.exe.sha256)
