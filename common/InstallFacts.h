// Where the product lives on a user's machine: the facts the installer and the world launch
// share, beside the 3D browser's own folder.
#pragma once

#include <windows.h>

// The install roots, C: first; a drive qualifies when it has kRequiredFreeMiB free.
constexpr char kInstallRootC[] = "C:\\Program Files\\Activeworlds";
constexpr char kInstallRootD[] = "D:\\Program Files\\Activeworlds";
constexpr ULONGLONG kRequiredFreeMiB = 50;
// The root's own name, also below the per-user places (UserPlaces.h).
constexpr char kInstallRootName[] = "Activeworlds";

// The loader program, as installed and as the document type starts it.
constexpr char kLoaderFileName[] = "qxLoader.exe";
