# Checks the trust options a vendor configures:
#   ZAV_TRUSTED_KEYS          one to four minisign public keys (the base64 line of a .pub file),
#                             separated by ";"; the first is the active key, the others backups
#   ZAV_ALLOW_UNSIGNED_FEEDS  ON: no keys, the installer is stamped unsigned (its feed is not
#                             verified); without it and without keys the installer is left
#                             unstamped, for `zav-vendor bundle` to stamp
#   ZAV_MIN_FEED_SERIAL       the lowest feed serial a first run accepts
# Included by the project, or run on its own (`cmake -DZAV_TRUSTED_KEYS=... -P ZAVTrust.cmake`),
# which is how the tests try it. A refusal stops the configure step with the reason.

function(zav_check_trust keys allow_unsigned min_serial)
  list(LENGTH keys count)
  if(count EQUAL 0 AND NOT allow_unsigned)
    # The installer of the vendor's kit: built without a feed, it refuses to run until
    # `zav-vendor bundle` stamps it.
    message(NOTICE
      "No trusted key: zav-installer is built unstamped and refuses to run until it is stamped.\n"
      "Make a key pair and stamp the installer with its public key, no rebuild needed:\n"
      "  zav-vendor keygen -p zav.pub -s zav.key\n"
      "  zav-vendor bundle --feed-url URL --key zav.pub -o dist\n"
      "or build it stamped: cmake ... -DZAV_TRUSTED_KEYS=<the second line of zav.pub>.\n"
      "Keep zav.key secret and sign each feed with it. To build an installer that does not "
      "verify its feed (for tests only), pass -DZAV_ALLOW_UNSIGNED_FEEDS=ON.")
  endif()
  if(count GREATER 4)
    message(FATAL_ERROR "ZAV_TRUSTED_KEYS holds ${count} keys; at most four are allowed "
                        "(the active key and up to three backups).")
  endif()
  foreach(key IN LISTS keys)
    # "Ed", an 8-byte key id and a 32-byte key: 42 bytes, 56 characters of base64 without
    # padding, and "Ed" makes the first two "RW" and the third one of Q, R, S, T.
    if(NOT key MATCHES "^RW[Q-T][A-Za-z0-9+/]+$")
      message(FATAL_ERROR "ZAV_TRUSTED_KEYS: \"${key}\" is not a minisign public key "
                          "(the second line of a .pub file, 56 characters starting with RW).")
    endif()
    string(LENGTH "${key}" length)
    if(NOT length EQUAL 56)
      message(FATAL_ERROR "ZAV_TRUSTED_KEYS: \"${key}\" is not a minisign public key "
                          "(${length} characters instead of 56).")
    endif()
  endforeach()
  # 2^53 - 1 is the largest integer a feed can state exactly.
  if(NOT min_serial MATCHES "^[0-9]+$" OR min_serial GREATER 9007199254740991)
    message(FATAL_ERROR "ZAV_MIN_FEED_SERIAL must be a whole number from 0 to 2^53 - 1, "
                        "not \"${min_serial}\".")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED ZAV_MIN_FEED_SERIAL)
    set(ZAV_MIN_FEED_SERIAL 0)
  endif()
  zav_check_trust("${ZAV_TRUSTED_KEYS}" "${ZAV_ALLOW_UNSIGNED_FEEDS}" "${ZAV_MIN_FEED_SERIAL}")
  message(STATUS "trust options accepted")
endif()
