// Wide COM text in, 8-bit text of the system ANSI code page out, as both control methods take
// their arguments.
#pragma once

#include <wtypes.h>

#include "framework/CString.h"

// A null BSTR gives the empty text; an embedded NUL ends the text; a failed conversion gives the
// empty text.
CString AnsiFromBstr(BSTR bstr);
