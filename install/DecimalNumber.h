// The decimal numbers of an update description ("Version"=5, a number value's text). Free of
// windows.h, so that it builds natively and can be fed any bytes.
#pragma once

// Leading white space, an optional sign, then digits up to the first other character; 0 without
// digits or for a null text. A number beyond the 32-bit range is held at the nearest end of it.
int ParseDecimalNumber(const char* pszText);
