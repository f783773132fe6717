# Fills the release's dist folder: run by the setup_dist target with cmake -P.
#   SETUP_EXE            the linked (stripped) Setup.exe
#   DIST_DIR             emptied, then given Setup.exe and Setup.exe.sha256
#   OSSLSIGNCODE         the signing tool; empty: no certificate is configured, nothing is signed
#   OPENSSL, SIGN_PKCS12, SIGN_PASSWORD_FILE, SIGN_TIMESTAMP_URL, SIGN_INFO_URL   for signing
cmake_minimum_required(VERSION 3.25)

# The folder holds exactly what ships, so nothing stale from an earlier build can slip out with it.
file(REMOVE_RECURSE "${DIST_DIR}")
file(MAKE_DIRECTORY "${DIST_DIR}")
set(shipped "${DIST_DIR}/Setup.exe")

if(OSSLSIGNCODE)
  set(timestamp "")
  if(SIGN_TIMESTAMP_URL)
    set(timestamp -ts "${SIGN_TIMESTAMP_URL}")
  endif()
  # The password stays in its file: it never appears on a command line or in the build log.
  execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${SIGN_PKCS12}" -readpass "${SIGN_PASSWORD_FILE}"
            -h sha256 -n "Ostrevo Setup" -i "${SIGN_INFO_URL}" ${timestamp}
            -in "${SETUP_EXE}" -out "${shipped}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${DIST_DIR}")
    message(FATAL_ERROR "Signing Setup.exe failed:\n${output}")
  endif()

  # Verify what was written against the signer's own chain (from the PKCS#12) and the system's
  # roots: the digest must match the file and the signature must come from that certificate.
  get_filename_component(work "${DIST_DIR}" DIRECTORY)
  set(chain "${work}/signing-chain.pem")
  execute_process(
    COMMAND "${OPENSSL}" pkcs12 -in "${SIGN_PKCS12}" -passin "file:${SIGN_PASSWORD_FILE}" -nokeys
            -out "${chain}"
    RESULT_VARIABLE result ERROR_VARIABLE output OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    file(REMOVE_RECURSE "${DIST_DIR}")
    message(FATAL_ERROR "Reading the certificates of ${SIGN_PKCS12} failed:\n${output}")
  endif()
  if(EXISTS /etc/ssl/certs/ca-certificates.crt)
    file(READ /etc/ssl/certs/ca-certificates.crt roots)
    file(APPEND "${chain}" "${roots}")
  endif()
  execute_process(
    COMMAND "${OSSLSIGNCODE}" verify -CAfile "${chain}" -in "${shipped}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(WRITE "${work}/signature-check.txt" "${output}")
  if(NOT result EQUAL 0 OR NOT output MATCHES "Signature verification: ok")
    file(REMOVE_RECURSE "${DIST_DIR}")
    message(FATAL_ERROR "The signature of Setup.exe does not verify:\n${output}")
  endif()
  string(REGEX MATCH "Subject: ([^\n]*)" subject "${output}")
  message(STATUS "Setup.exe signed with SHA-256 by ${CMAKE_MATCH_1}; osslsigncode verify: "
                 "Signature verification: ok (full report: ${work}/signature-check.txt)")
else()
  file(COPY_FILE "${SETUP_EXE}" "${shipped}")
  message(STATUS "Setup.exe is NOT signed: no signing certificate is configured "
                 "(SETUP_SIGN_PKCS12 and SETUP_SIGN_PASSWORD_FILE)")
endif()

# "HASH  Setup.exe", the format sha256sum -c reads.
file(SHA256 "${shipped}" hash)
file(WRITE "${DIST_DIR}/Setup.exe.sha256" "${hash}  Setup.exe\n")
message(STATUS "${DIST_DIR}: Setup.exe, Setup.exe.sha256 (${hash})")
