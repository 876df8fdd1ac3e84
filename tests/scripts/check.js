// check.js PROGID [URL]: creates the control by PROGID and calls Check with URL (the empty URL
// when it is left out); the exit code tells what came back.
// Wine's script host exits 0 when a script dies of an uncaught error, so no answer is 0:
// 10 the number 0, 11 the number 1, 4 not a number, 5 another number;
// 1 arguments, 2 creation, 3 Check raised an error.
// Only ASCII goes to the output: Wine's script host corrupts its heap when it writes other text
// (its Korean error messages) to a redirected output.
function Hex(e) {
    return "0x" + (e.number >>> 0).toString(16);
}

var code = 1;
try {
    var args = WScript.Arguments;
    var progId = args.Item(0);
    var url = args.length > 1 ? args.Item(1) : "";
    code = 2;
    var checker = new ActiveXObject(progId);
    code = 3;
    var result = checker.Check(url);
    if (typeof result != "number") code = 4;
    else if (result === 0) code = 10;
    else if (result === 1) code = 11;
    else code = 5;
    if (code != 10 && code != 11) WScript.Echo("check.js: Check gave " + typeof result + " " + result);
} catch (e) {
    WScript.Echo("check.js: step " + code + ": error " + Hex(e));
}
WScript.Quit(code);
