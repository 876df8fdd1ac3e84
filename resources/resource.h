// Identifiers of the module's resources and of the controls in its dialogs.
// Shared by the resource script and the C++ code, so it holds plain #defines only.
#pragma once

// String table: the project name, the only string the module carries.
#define IDS_PROJNAME 100

// Registry script that registration runs (resource type "REGISTRY").
#define IDR_CHECKER 103

// The site lock built in (RCDATA): text lines "allow-any-site=yes|no" and "site=<entry>", written
// by the build from QX_ALLOWED_SITES and QX_ALLOW_ANY_SITE. A larger one is not read at all.
// scripts/dll_text.py reads these numbers from here, so each is a plain decimal.
#define IDR_SITE_LOCK 104
#define QX_SITE_LOCK_MAX_BYTES 65536

// The publisher's certificates allowed to sign the loader (RCDATA): text lines
// "signer-sha256=<thumbprint>", written by the build from QX_LOADER_SIGNERS; none, no pin. A
// handful of lines of 80 characters; a larger one is not read at all.
#define IDR_LOADER_SIGNERS 105
#define QX_LOADER_SIGNERS_MAX_BYTES 16384

// Dialog templates.
#define IDD_DOWNLOAD 134
#define IDD_INSTALL 201

// Controls of IDD_DOWNLOAD.
#define IDC_DOWNLOAD_PROGRESS 1006
#define IDC_DOWNLOAD_SIZE 1011
#define IDC_DOWNLOAD_TEXT 1012
