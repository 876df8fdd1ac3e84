# The site lock built into the DLL, as the text of its IDR_SITE_LOCK resource, from the build
# settings QX_ALLOWED_SITES (entries separated by ';') and QX_ALLOW_ANY_SITE. A publisher's mistake
# stops the configuration here rather than shipping a wider lock than meant.
#
# Also a script, so that the rules can be tried without configuring the project:
#   cmake -DQX_ALLOWED_SITES="a.example;*.b.example" [-DQX_ALLOW_ANY_SITE=ON] -P cmake/SiteLock.cmake

# Why `entry` is no site entry, or "" for a site; as the DLL reads entries: blanks around trimmed,
# letters (the scheme's too) in any case.
function(qx_site_entry_refusal out_var entry)
  string(STRIP "${entry}" entry)
  string(TOLOWER "${entry}" lower)
  # A wildcard needs a domain of two labels at least: "*.com" would be a whole top-level domain.
  if(lower MATCHES "^(https?://)?\\*\\.[a-z0-9-]+$")
    set(${out_var} "\"${entry}\" is a wildcard over a whole top-level domain" PARENT_SCOPE)
  elseif(NOT lower MATCHES "^(https?://)?(\\*\\.)?[a-z0-9-]+(\\.[a-z0-9-]+)*$")
    set(${out_var} "\"${entry}\" is not a site (host, *.domain.tld, http://host)" PARENT_SCOPE)
  else()
    set(${out_var} "" PARENT_SCOPE)
  endif()
endfunction()

function(qx_site_lock_text out_var sites allow_any)
  set(text "; the site lock built in: QX_ALLOWED_SITES and QX_ALLOW_ANY_SITE\n")
  if(allow_any)
    if(NOT sites STREQUAL "")
      message(FATAL_ERROR "QX_ALLOW_ANY_SITE and QX_ALLOWED_SITES exclude each other: a lock lists sites, a development build lists none")
    endif()
    message(WARNING "qxChecker: QX_ALLOW_ANY_SITE is ON: EVERY PAGE MAY USE THIS DLL. For development only; it cannot be packaged.")
    string(APPEND text "allow-any-site=yes\n")
  else()
    string(APPEND text "allow-any-site=no\n")
  endif()
  foreach(site IN LISTS sites)
    qx_site_entry_refusal(refusal "${site}")
    if(refusal)
      message(FATAL_ERROR "QX_ALLOWED_SITES: ${refusal}")
    endif()
    string(STRIP "${site}" site)
    string(APPEND text "site=${site}\n")
  endforeach()
  if(sites STREQUAL "" AND NOT allow_any)
    message(STATUS "qxChecker: QX_ALLOWED_SITES is empty: no page may use this DLL (script hosts still may)")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qx_site_lock_text(text "${QX_ALLOWED_SITES}" "${QX_ALLOW_ANY_SITE}")
  message("${text}")
endif()
