# The shipped build's origins. Included from the top-level CMakeLists.txt when SETUP_RELEASE is on,
# before the general origin check (which refuses anything but an https:// origin): a release must
# name the maker's real services, so an origin that is missing or still the local test service
# stops the configure here, with every offender named.

set(_release_problems "")
foreach(env PROD UAT SIT DIT)
  set(_origin "${SETUP_ORIGIN_${env}}")
  string(TOLOWER "${_origin}" _host)
  if(_origin STREQUAL "")
    string(APPEND _release_problems "\n  SETUP_ORIGIN_${env} is not set")
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
