// launch.js PROGID [URL]: creates the control by PROGID and launches the world file at URL (the
// empty URL when it is left out).
// Wine's script host exits 0 when a script dies of an uncaught error, so success is 10, not 0,
// and every failure leaves with its own code: 1 arguments, 2 creation, 3 Launch raised an error.
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
    checker.Launch(url);
    code = 10;
} catch (e) {
    WScript.Echo("launch.js: step " + code + ": error " + Hex(e));
}
WScript.Quit(code);
