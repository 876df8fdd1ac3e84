// Identifiers of the module's resources and of the controls in its dialogs.
// Shared by the resource script and the C++ code, so it holds plain #defines only.
#pragma once

// String table: the project name, the only string the module carries.
#define IDS_PROJNAME 100

// Registry script that registration runs (resource type "REGISTRY").
#define IDR_CHECKER 103

// The site lock built in (RCDATA): text lines "allow-any-site=yes|no" and "site=<entry>", written
// by the build from QX_ALLOWED_SITES and QX_ALLOW_ANY_SITE.
#define IDR_SITE_LOCK 104

// The publisher's certificates allowed to sign the loader (RCDATA): text lines
// "signer-sha256=<thumbprint>", written by the build from QX_LOADER_SIGNERS; none, no pin.
#define IDR_LOADER_SIGNERS 105

// Dialog templates.
#define IDD_DOWNLOAD 134
#define IDD_INSTALL 201

// Controls of IDD_DOWNLOAD.
#define IDC_DOWNLOAD_PROGRESS 1006
#define IDC_DOWNLOAD_SIZE 1011
#define IDC_DOWNLOAD_TEXT 1012
