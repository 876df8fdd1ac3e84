// The registry keys that an update description may make the installer read or write: the loader's
// own record and its document type, nothing else. A description comes from a web server; without
// this bound it could have us write a Run key, another file type's open command, the security
// zones or the site lock's own list, or pick up an install directory from any key it names.
#pragma once

// Whether a description's section is a registry section: its name begins with "HKEY", exactly
// so. Every other section (such as "Program") is never read from or written to the registry.
bool IsRegistrySection(const char* pszRoot);

// What a key in scope is to the installer.
enum RegistryKeyRole {
    REGKEY_OUT_OF_SCOPE = 0,
    REGKEY_RECORD,          // the loader's record and settings (SOFTWARE\Tessaron)
    REGKEY_EXTENSION,       // ".qxl": its default value names the document type
    REGKEY_DOCUMENT_TYPE,   // "qxl_auto_file" itself: its binary values are the edit flags
    REGKEY_BELOW_DOCUMENT_TYPE,  // "shell", "shell\<verb>" and "shell\<verb>\command" below it
};

// The role of the key `pszKey` below the root that a description's section names `pszRoot`. Root
// names are exact ("HKEY_CURRENT_USER", as the section gives it); key paths are compared
// case-insensitively (ASCII), by whole backslash-separated components, as the registry compares
// them. The document type counts under each of its names: HKEY_CLASSES_ROOT and the per-user and
// per-machine "Software\Classes"; below it only its verbs and their commands. A path with an empty, "." or ".." component is never in scope,
// nor is a root key itself. Null arguments are out of scope.
RegistryKeyRole RegistryKeyRoleOf(const char* pszRoot, const char* pszKey);

inline bool IsKeyInRegistryScope(const char* pszRoot, const char* pszKey)
{
    return RegistryKeyRoleOf(pszRoot, pszKey) != REGKEY_OUT_OF_SCOPE;
}

// Whether two names are the same to the registry, as far as we ever need: ASCII letters fold,
// other bytes compare exactly.
bool IsSameRegistryName(const char* pszA, const char* pszB);
// Whether `pszText` ends with `pszSuffix`, compared as registry names are.
bool EndsWithRegistryName(const char* pszText, const char* pszSuffix);
