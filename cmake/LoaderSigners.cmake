# The loader's publisher pin built into the DLL, as the text of its IDR_LOADER_SIGNERS resource,
# from the build setting QX_LOADER_SIGNERS: SHA-256 thumbprints of the certificates allowed to sign
# the loader, separated by ';' (several, so that a certificate can be renewed without a gap).
# A thumbprint that is not 64 hexadecimal digits stops the configuration.
#   cmake -DQX_LOADER_SIGNERS="<sha256>;<sha256>" -P cmake/LoaderSigners.cmake

# Why `signer` is no thumbprint, or "" for one; blanks around it are trimmed, as the DLL trims them.
function(qx_loader_signer_refusal out_var signer)
  string(STRIP "${signer}" signer)
  string(LENGTH "${signer}" length)
  if(NOT length EQUAL 64 OR NOT signer MATCHES "^[0-9A-Fa-f]+$")
    set(${out_var} "\"${signer}\" is not a SHA-256 thumbprint (64 hexadecimal digits)" PARENT_SCOPE)
  else()
    set(${out_var} "" PARENT_SCOPE)
  endif()
endfunction()

function(qx_loader_signers_text out_var signers require)
  set(text "; the loader's publisher pin built in: QX_LOADER_SIGNERS\n")
  foreach(signer IN LISTS signers)
    qx_loader_signer_refusal(refusal "${signer}")
    if(refusal)
      message(FATAL_ERROR "QX_LOADER_SIGNERS: ${refusal}")
    endif()
    string(STRIP "${signer}" signer)
    string(TOLOWER "${signer}" signer)
    string(APPEND text "signer-sha256=${signer}\n")
  endforeach()
  if(signers STREQUAL "")
    if(require)
      message(FATAL_ERROR "QX_REQUIRE_LOADER_PIN is ON but QX_LOADER_SIGNERS names no certificate")
    endif()
    message(STATUS "qxChecker: QX_LOADER_SIGNERS is empty: any loader that passes the other checks is installed")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qx_loader_signers_text(text "${QX_LOADER_SIGNERS}" "${QX_REQUIRE_LOADER_PIN}")
  message("${text}")
endif()
