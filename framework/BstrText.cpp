#include "framework/BstrText.h"

#include <windows.h>
#include <oleauto.h>

#include "framework/TextConversion.h"

CString AnsiFromBstr(BSTR bstr)
{
    return bstr ? AnsiFromWide(bstr, ::SysStringLen(bstr)) : CString();
}
