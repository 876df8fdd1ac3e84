// The registry keys that an update description may make the installer read or write: the loader's
// own record and its document type, nothing else. A description comes from a web server; without
// this bound it could have us write a Run key, another file type's open command or the security
// zones, or pick up an install directory from any key it names.
#pragma once

// Whether the key `pszKey` below the root that a description's section names `pszRoot` is one of
// ours. Root names are exact ("HKEY_CURRENT_USER", as the section gives it); key paths are compared
// case-insensitively (ASCII), by whole backslash-separated components. A path with an empty, "." or
// ".." component is never in scope, nor is the root key itself. Null arguments are out of scope.
bool IsKeyInRegistryScope(const char* pszRoot, const char* pszKey);
