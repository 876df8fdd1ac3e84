// Between the system's 8-bit ANSI text and wide text, as long as the text is: no fixed buffers.
#pragma once

#include <string>

#include "framework/CString.h"

// The empty text for a null or unconvertible one.
std::wstring WideFromAnsi(const char* psz);
// The first `nLength` wide characters (up to an embedded zero) in the ANSI code page; the empty
// text for a null or unconvertible one.
CString AnsiFromWide(const wchar_t* pwsz, size_t nLength);
// UTF-8, for text handed to another process whatever its code page: the empty text for an empty
// or unconvertible one (invalid UTF-8 included).
std::string Utf8FromWide(const std::wstring& wide);
std::wstring WideFromUtf8(const std::string& text);
