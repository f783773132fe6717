# The shipped build's output. Included from the top-level CMakeLists.txt when SETUP_RELEASE is on,
# after the program's targets (its origins are checked earlier, by release_origins.cmake).
#
# Output: ${CMAKE_BINARY_DIR}/dist/ with Setup.exe (stripped, size-optimised, signed when a
# certificate is configured) and Setup.exe.sha256, made by the setup_dist target.

if(NOT WIN32)
  message(FATAL_ERROR "SETUP_RELEASE builds the Windows program: configure it with the release "
                      "preset (cmake --preset release ...), which uses the MinGW-w64 toolchain")
endif()

# The seams let tests hold Setup before it starts what it downloaded; no customer's copy has them.
if(SETUP_TEST_SEAMS)
  message(FATAL_ERROR "A release build never has the test seams: configure it with "
                      "SETUP_TEST_SEAMS=OFF (the release preset's setting)")
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
        RESULT_VARIABLE ls_files_result OUTPUT_QUIET ERROR_QUIET)
      if(ls_files_result EQUAL 0)  # git knows the file
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
