// unknown.js PROGID: calls a method the control does not have; the call must raise the script
// engine's "object doesn't support this property or method" (0x800A01B6), which the script can
// catch, not some other error of a call that reached a method.
// Wine's script host exits 0 when a script dies of an uncaught error, so success is 10, not 0:
// 10 the expected error, 4 another error, 3 no error; 1 arguments, 2 creation.
// Only ASCII goes to the output: Wine's script host corrupts its heap when it writes other text
// (its Korean error messages) to a redirected output.
function Hex(e) {
    return "0x" + (e.number >>> 0).toString(16);
}

var code = 1;
try {
    var progId = WScript.Arguments.Item(0);
    code = 2;
    var checker = new ActiveXObject(progId);
    code = 3;
    try {
        checker.NoSuchMethod();
    } catch (e) {
        code = (e.number >>> 0) == 0x800A01B6 ? 10 : 4;
        if (code != 10) WScript.Echo("unknown.js: raised " + Hex(e));
    }
} catch (e) {
    WScript.Echo("unknown.js: step " + code + ": error " + Hex(e));
}
WScript.Quit(code);
